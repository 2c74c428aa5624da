"""ZelusbDS in a Tango control system that the tests bring up (tango_system.py): once through a
private database with DataBaseds, once in the file-database mode, both on live benches, with
this process as the client. Events are expected by membership, from subscriptions made before
acting: Tango may repeat an event or deliver the first one late."""

import json
import math
import statistics
import threading
import time

import pytest

import tango_system
from tango_system import Processes

MISSING = tango_system.missing()
pytestmark = pytest.mark.skipif(
    bool(MISSING), reason="the Tango tests need scripts/setup's group tango; missing: %s" % MISSING
)
if not MISSING:
    import tango

MAIN_BENCH = {"units": [
    {"device": 0, "model": "kestrin", "firmware": "running", "serial": "KS-0101", "speedDivider": 7},
    {"device": 1, "model": "polyax", "firmware": "running", "serial": "PX-0101", "speedDivider": 7,
     "limits": [-300, 100000]},
    {"device": 2, "model": "orvane", "firmware": "running", "serial": "OR-0101", "adc": {"0": 100}},
]}
UNPLUGGED_BENCH = {"units": [{"device": 0, "model": "kestrin", "unplugged": True}]}
# Its clock starts when its one device is initialised: the row's Init.
LEAVING_BENCH = {"units": [{"device": 0, "model": "kestrin", "firmware": "running", "unplugAtMillis": 1500}]}


def devices(folder):
    benches = {}
    for name, description in (("main", MAIN_BENCH), ("unplugged", UNPLUGGED_BENCH), ("leaving", LEAVING_BENCH)):
        benches[name] = "%s/%s.json" % (folder, name)
        with open(benches[name], "w") as file:
            json.dump(description, file)

    def motor(bench, model, number, **more):
        return "ZelMotor", {"Model": model, "Motor": number, "Bench": benches[bench], **more}

    table = {"zel/px/%d" % n: motor("main", "polyax", n) for n in range(2, 9)}
    table.update({
        "zel/px/1": motor("main", "polyax", 1, StepsPerUnit=10, Offset=5),
        "zel/ks/1": motor("main", "kestrin", 1, Serial="KS-0101"),
        "zel/ks/2": motor("main", "kestrin", 2, Serial="KS-0101"),
        "zel/gone/1": motor("unplugged", "kestrin", 1),
        "zel/leaving/1": motor("leaving", "kestrin", 1),
    })
    for model, serial in (("orvane", {}), ("kestrin", {"Serial": "KS-0101"}), ("polyax", {})):
        table["zel/unit/" + model] = ("ZelUnit", {"Model": model, "Bench": benches["main"], **serial})
    return table


@pytest.fixture(scope="module")
def servers(tmp_path_factory):
    """{mode: the full name of a device from its short name}: "database" reaches the server
    through DataBaseds, "file" the server of the -file= mode directly."""
    folder = str(tmp_path_factory.mktemp("tango"))
    table = devices(folder)
    processes = Processes(folder)
    try:
        tango_system.file_database(folder + "/devices.res", "file", table)
        # The two servers boot their units while the database comes up.
        file_prefix, file_ready = tango_system.start_server(processes, "file", {}, "-file=%s/devices.res" % folder)
        tango_host = tango_system.start_database(processes)
        tango_system.register(tango_host, "test", table)
        _, database_ready = tango_system.start_server(processes, "test", {"TANGO_HOST": tango_host})
        file_ready()
        database_ready()
        yield {"database": lambda name: "tango://%s/%s" % (tango_host, name),
               "file": lambda name: file_prefix + name + "#dbase=no"}
    finally:
        listening = processes.end_all()
    assert listening == [], "still listening after their processes ended"


MODES = ["database", "file"]


class Events:
    """The State and Position change events of a device, from the subscription on."""

    def __init__(self, proxy):
        self.proxy = proxy
        self.seen = []
        self.changed = threading.Condition()
        kind = tango.EventType.CHANGE_EVENT
        self.ids = [proxy.subscribe_event(name, kind, self.push) for name in ("State", "Position")]

    def push(self, event):
        if event.err:
            return
        value = event.attr_value.value
        value = round(value, 6) if isinstance(value, float) else str(value)
        with self.changed:
            self.seen.append((event.attr_value.name.lower(), value))
            self.changed.notify_all()

    def since_moving(self):
        return set(self.seen[self.seen.index(state("MOVING")):]) if state("MOVING") in self.seen else set()

    def missing(self, expected, seconds=5.0):
        """Of `expected` (name, value) pairs, those not seen within `seconds` from the first
        MOVING on (before it, the subscription's own events tell the state at rest)."""
        with self.changed:
            self.changed.wait_for(lambda: expected <= self.since_moving(), seconds)
            return expected - self.since_moving()

    def close(self):
        for id_ in self.ids:
            self.proxy.unsubscribe_event(id_)


def state(name):
    return ("state", name)


def write(proxy, name, value):
    proxy.write_attribute(name, value)
    return str(proxy.state())


def stop_mid_move(proxy):
    moving = write(proxy, "Position", 5000)
    time.sleep(0.1)
    proxy.Stop()
    return moving


def leave_mid_move(proxy):
    proxy.Init()  # a fresh bench: the unit leaves 1.5 s from now
    return write(proxy, "Position", 100000)


def both_axes(proxy, other):
    moving = write(proxy, "Position", 300), write(other, "Position", -200)
    return "MOVING" if moving == ("MOVING", "MOVING") else str(moving)


# id, devices, the act (returns the state right after it), the events of the first device,
# the attributes of each device afterwards (a callable value: a check).
MOVES = [
    ("write Position in user units", ["zel/px/1"], lambda p: write(p, "Position", 25.0),
     {state("MOVING"), ("position", 25.0), state("ON")}, [{"Position": 25.0, "DialPosition": 200}]),
    ("Stop mid-move", ["zel/px/2"], stop_mid_move, {state("MOVING"), state("ON")},
     [{"State": "ON", "DialPosition": lambda steps: 0 < steps < 5000}]),
    ("Home to the lower switch", ["zel/px/3"], lambda p: (p.Home(), str(p.state()))[1],
     {state("MOVING"), ("position", -300.0), state("ALARM")}, [{"Limit_switches": [True, False, True]}]),
    ("MoveRelative", ["zel/px/4"], lambda p: (p.MoveRelative(-40.0), str(p.state()))[1],
     {state("MOVING"), ("position", -40.0), state("ON")}, [{"Position": -40.0}]),
    ("two Polyax axes together", ["zel/px/5", "zel/px/6"], both_axes,
     {state("MOVING"), ("position", 300.0), state("ON")}, [{"Position": 300.0}, {"Position": -200.0, "State": "ON"}]),
    ("a unit that leaves mid-move", ["zel/leaving/1"], leave_mid_move, {state("MOVING"), state("FAULT")},
     [{"State": "FAULT", "Status": lambda text: "does not answer" in text}]),
]


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("names, act, events, after", [r[1:] for r in MOVES], ids=[r[0] for r in MOVES])
def test_a_move_runs_with_its_events(servers, mode, names, act, events, after):
    proxies = [tango.DeviceProxy(servers[mode](name)) for name in names]
    watched = Events(proxies[0])
    try:
        assert act(*proxies) == "MOVING"
        assert watched.missing(events) == set()
    finally:
        watched.close()
    for proxy, expected in zip(proxies, after):
        for name, value in expected.items():
            # Another axis than the watched one may end a poll later.
            deadline = time.monotonic() + 3
            while True:
                read = proxy.read_attribute(name).value
                read = list(read) if name == "Limit_switches" else str(read) if name == "State" else read
                matches = value(read) if callable(value) else read == value
                if matches or time.monotonic() > deadline:
                    break
                time.sleep(0.02)
            assert matches, (name, read)


def busy_kestrin(servers, mode):
    first = tango.DeviceProxy(servers[mode]("zel/ks/1"))
    assert write(first, "Position", first.Position + 3000) == "MOVING"
    try:
        write(tango.DeviceProxy(servers[mode]("zel/ks/2")), "Position", 10)
    finally:
        first.Stop()


# id, the call that fails, the reason, words of the description.
FAILURES = [
    ("a Kestrin's second motor while the first moves", busy_kestrin, "ZEL_MotorBusy", "refused"),
    ("a speed beyond the unit's", lambda s, m: write(tango.DeviceProxy(s[m]("zel/px/7")), "Velocity", 1e6),
     "ZEL_OutOfRange", "13333"),
    ("a position beyond 32 bits of steps", lambda s, m: write(tango.DeviceProxy(s[m]("zel/px/7")), "Position", 1e12),
     "ZEL_OutOfRange", "steps"),
    ("a step mode other than 1 or 2", lambda s, m: write(tango.DeviceProxy(s[m]("zel/px/7")), "Mode", 3),
     "ZEL_OutOfRange", "1 or 2"),
    ("a move on a unit described as unplugged", lambda s, m: tango.DeviceProxy(s[m]("zel/gone/1")).MoveRelative(1),
     "ZEL_NoDevice", "No Device"),
]


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("call, reason, words", [r[1:] for r in FAILURES], ids=[r[0] for r in FAILURES])
def test_a_refused_call_names_its_reason(servers, mode, call, reason, words):
    with pytest.raises(tango.DevFailed) as failure:
        call(servers, mode)
    assert (failure.value.args[0].reason, words in failure.value.args[0].desc) == (reason, True)


# The state of each device at rest, and the words of its status.
STATES = [
    ("zel/gone/1", "OFF", "was not found"),
    ("zel/px/8", "ON", "rests"),
    ("zel/unit/kestrin", "ON", "KS-0101"),
]


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("name, expected, words", STATES, ids=[r[0] for r in STATES])
def test_a_device_at_rest_says_its_state(servers, mode, name, expected, words):
    proxy = tango.DeviceProxy(servers[mode](name))
    assert (str(proxy.state()), words in proxy.status()) == (expected, True)


NAN = float("nan")
# model, the attributes read, the attributes written and read back.
UNITS = [
    ("orvane", {"SerialNumber": "OR-0101", "Present": True, "Temperature": 0.0,
                "AnalogInputs": [100.0, NAN, NAN, NAN, 2048.0, NAN, NAN, NAN]}, {"UndervoltageDetection": False}),
    ("kestrin", {"SerialNumber": "KS-0101", "FirmwareVersion": "1.0", "Present": True}, {}),
    ("polyax", {"SerialNumber": "PX-0101", "Shutter2": False}, {"Shutter1": True}),
]
EXTRAS = {"Temperature", "AnalogInputs", "UndervoltageDetection", "Shutter1", "Shutter2"}


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("model, reads, writes", UNITS, ids=[r[0] for r in UNITS])
def test_a_unit_device_has_its_models_attributes(servers, mode, model, reads, writes):
    proxy = tango.DeviceProxy(servers[mode]("zel/unit/" + model))
    for name, value in writes.items():
        proxy.write_attribute(name, value)
    for name, value in {**reads, **writes}.items():
        read = proxy.read_attribute(name).value
        same = [a == b or (math.isnan(a) and math.isnan(b)) for a, b in zip(read, value)] if isinstance(value, list) else [read == value]
        assert all(same), (name, read)
    assert set(proxy.get_attribute_list()) & EXTRAS == set(reads) & EXTRAS | set(writes)


def test_position_reads_and_final_events_are_prompt(servers, capsys):
    """From this process: 1000 Position reads of a Kestrin motor (a Polyax's position comes
    through its mailbox, a few ms of its own on the live bench), and 20 short moves from the motor's stop on the
    bench (the write's return plus the move's time at the motor's speed) to the final Position
    event."""
    proxy = tango.DeviceProxy(servers["database"]("zel/ks/2"))
    reads = []
    for _ in range(1000):
        started = time.perf_counter()
        proxy.Position
        reads.append(time.perf_counter() - started)
    reads.sort()
    frequency = proxy.Velocity
    arrivals = {}
    finals = threading.Condition()

    def push(event):
        if not event.err:
            with finals:
                arrivals.setdefault(round(event.attr_value.value), time.perf_counter())
                finals.notify_all()

    subscription = proxy.subscribe_event("Position", tango.EventType.CHANGE_EVENT, push)
    delays, position = [], proxy.Position
    try:
        for steps in range(20, 40):
            position += steps
            proxy.Position = position
            stopped = time.perf_counter() + steps / frequency
            with finals:
                assert finals.wait_for(lambda: position in arrivals, 5)
            delays.append(arrivals[position] - stopped)
    finally:
        proxy.unsubscribe_event(subscription)
    median, p95 = statistics.median(reads), reads[949]
    with capsys.disabled():
        print("\nPosition read: median %.2f ms, 95th percentile %.2f ms; stop to final event: median %.1f ms, "
              "largest %.1f ms" % (median * 1e3, p95 * 1e3, statistics.median(delays) * 1e3, max(delays) * 1e3))
    assert median < 0.01 and p95 < 0.05, reads
    assert statistics.median(delays) < 0.05 and max(delays) < 0.2, delays
