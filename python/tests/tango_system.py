"""A Tango control system of this machine alone, for the tests: a private MariaDB server with
the Tango schema, DataBaseds on it, and ZelusbDS servers, each its own process on 127.0.0.1
and a free port, each ended by its process id."""

import os
import shutil
import signal
import socket
import subprocess
import sys
import time

MARIADBD = "/usr/sbin/mariadbd"
DATABASEDS = "/usr/lib/tango/DataBaseds"
SCHEMA = "/usr/share/dbconfig-common/data/tango-db/install/mysql"
# The system tables alone: the help tables and the sys schema would triple the bootstrap.
SYSTEM_TABLES = ["/usr/share/mysql/mysql_system_tables.sql", "/usr/share/mysql/mysql_system_tables_data.sql"]


def missing() -> str:
    """What this machine lacks for the Tango tests ("" : nothing), without importing tango."""
    import importlib.util

    lacking = [] if importlib.util.find_spec("tango") else ["python3-tango"]
    needs = {MARIADBD: "mariadb-server", shutil.which("mariadb") or "/usr/bin/mariadb": "mariadb-client",
             DATABASEDS: "tango-db", SCHEMA: "tango-db"}
    lacking += sorted({package for path, package in needs.items() if not os.path.exists(path)})
    return ", ".join(lacking)


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(port: int) -> bool:
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


def until(condition, seconds: float, what: str) -> None:
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError("%s: not within %g s" % (what, seconds))
        time.sleep(0.05)


def answers(call) -> bool:
    """Whether `call` went through, rather than failing in Tango."""
    import tango

    try:
        call()
        return True
    except tango.DevFailed:
        return False


class Processes:
    """The processes a test started, ended in reverse order by their ids."""

    def __init__(self, folder: str) -> None:
        self.folder = folder
        self.started: list[subprocess.Popen] = []
        self.ports: list[int] = []

    def start(self, name: str, argv: list, env: dict, port: int) -> subprocess.Popen:
        """Starts `argv` with `env` added to the environment, listening on `port`."""
        with open(os.path.join(self.folder, name + ".log"), "wb") as log:
            process = subprocess.Popen(argv, env={**os.environ, **env}, stdout=log, stderr=log)
        self.started.append(process)
        self.ports.append(port)
        return process

    def end(self, process: subprocess.Popen) -> None:
        if process.poll() is None:
            os.kill(process.pid, signal.SIGTERM)
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.kill(process.pid, signal.SIGKILL)
                process.wait()
        self.started.remove(process)

    def end_all(self) -> list:
        """Ends every process; the ports still listening after that (none, by rights)."""
        for process in reversed(list(self.started)):
            self.end(process)
        return [port for port in self.ports if listening(port)]


def root_user() -> list:
    return ["--user=root"] if os.geteuid() == 0 else []


def start_database(processes: Processes) -> str:
    """MariaDB with the Tango schema in database `tango`, and DataBaseds 2 over it; its
    TANGO_HOST."""
    folder = processes.folder
    data, sock = os.path.join(folder, "mysql"), os.path.join(folder, "mysql.sock")
    os.mkdir(data)
    common = ["--no-defaults", *root_user(), "--datadir=" + data, "--innodb-flush-method=nosync",
              "--log-error=" + os.path.join(folder, "mariadbd.err")]
    tables = b"create database if not exists mysql;\nuse mysql;\n" + b"".join(open(p, "rb").read() for p in SYSTEM_TABLES)
    subprocess.run([MARIADBD, *common, "--bootstrap"], input=tables, check=True, capture_output=True, timeout=60)
    sql_port = free_port()
    processes.start("mariadbd", [MARIADBD, *common, "--socket=" + sock, "--port=%d" % sql_port,
                                 "--bind-address=127.0.0.1", "--skip-name-resolve", "--skip-log-bin"], {}, sql_port)
    client = ["mariadb", "--no-defaults", "--socket=" + sock, "--user=root"]
    until(lambda: subprocess.run(client + ["-e", "select 1"], capture_output=True).returncode == 0, 30, "mariadbd")
    subprocess.run(client + ["-e", "create database tango"], check=True)
    with open(SCHEMA, "rb") as schema:
        subprocess.run(client + ["tango"], stdin=schema, check=True, capture_output=True, timeout=60)
    port = free_port()
    env = {"MYSQL_HOST": "127.0.0.1:%d" % sql_port, "MYSQL_USER": "root", "MYSQL_PASSWORD": "",
           "MYSQL_DATABASE": "tango", "TANGO_HOST": "127.0.0.1:%d" % port}
    processes.start("databaseds", [DATABASEDS, "2", "-ORBendPoint", "giop:tcp:127.0.0.1:%d" % port], env, port)
    import tango

    until(lambda: answers(lambda: tango.Database("127.0.0.1", port)), 30, "DataBaseds")
    return env["TANGO_HOST"]


def register(tango_host: str, instance: str, devices: dict) -> None:
    """Puts the server's devices ({name: (class, properties)}) into the database."""
    import tango

    host, port = tango_host.split(":")
    database = tango.Database(host, int(port))
    for name, (cls, properties) in devices.items():
        info = tango.DbDevInfo()
        info.name, info._class, info.server = name, cls, "ZelusbDS/" + instance
        database.add_device(info)
        database.put_device_property(name, properties)


def file_database(path: str, instance: str, devices: dict) -> None:
    """The same devices in a Tango database file, for -file=."""
    classes: dict = {}
    for name, (cls, _) in devices.items():
        classes.setdefault(cls, []).append(name)
    lines = ["ZelusbDS/%s/DEVICE/%s: %s" % (instance, cls, ", ".join(names)) for cls, names in classes.items()]
    for name, (_, properties) in devices.items():
        lines += ["%s->%s: %s" % (name, key, value) for key, value in properties.items()]
    with open(path, "w") as file:
        file.write("\n".join(lines) + "\n")


def start_server(processes: Processes, instance: str, env: dict, *options: str):
    """Starts ZelusbDS INSTANCE on a free port; the prefix of its devices' full names
    ("tango://127.0.0.1:PORT/") and a call that waits until its devices are exported."""
    import tango

    port = free_port()
    processes.start("ZelusbDS-" + instance, [sys.executable, "-m", "zelusb.tango", instance,
                                             "-ORBendPoint", "giop:tcp:127.0.0.1:%d" % port, *options], env, port)
    prefix = "tango://127.0.0.1:%d/" % port
    # Through the database when there is one: only a server without it answers to its name.
    admin = "dserver/ZelusbDS/" + instance
    admin = "tango://%s/%s" % (env["TANGO_HOST"], admin) if "TANGO_HOST" in env else prefix + admin + "#dbase=no"
    return prefix, lambda: until(lambda: answers(lambda: tango.DeviceProxy(admin).ping()), 30, "ZelusbDS " + instance)
