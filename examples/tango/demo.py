"""A narrated Tango session: ZelusbDS in the file-database mode (no database server) on the
default bench, a Kestrin motor in user units and the Orvane unit, driven from this process
through DeviceProxy with change events."""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

import tango

here = os.path.dirname(os.path.abspath(__file__))
bench = os.path.join(here, "default-bench.json")
folder = tempfile.mkdtemp()
devices = os.path.join(folder, "demo.res")
with open(devices, "w") as file:
    file.write(
        "ZelusbDS/demo/DEVICE/ZelMotor: demo/kestrin/1, demo/kestrin/2\n"
        "ZelusbDS/demo/DEVICE/ZelUnit: demo/orvane/unit\n"
        "demo/kestrin/1->Model: kestrin\ndemo/kestrin/1->Motor: 1\ndemo/kestrin/1->StepsPerUnit: 100\n"
        "demo/kestrin/1->Bench: %s\n"
        "demo/kestrin/2->Model: kestrin\ndemo/kestrin/2->Motor: 2\ndemo/kestrin/2->Bench: %s\n"
        "demo/orvane/unit->Model: orvane\ndemo/orvane/unit->Bench: %s\n" % (bench, bench, bench)
    )
with socket.socket() as probe:
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]

print("$ python3 -m zelusb.tango demo -file=demo.res -ORBendPoint giop:tcp:127.0.0.1:%d" % port)
log = open(os.path.join(folder, "server.log"), "wb")
server = subprocess.Popen([sys.executable, "-m", "zelusb.tango", "demo", "-file=" + devices,
                           "-ORBendPoint", "giop:tcp:127.0.0.1:%d" % port], stdout=log, stderr=log)
try:
    name = "tango://127.0.0.1:%d/%%s#dbase=no" % port
    deadline = time.monotonic() + 60
    while True:
        try:
            # The admin device answers once every device is exported.
            tango.DeviceProxy(name % "dserver/ZelusbDS/demo").ping()
            break
        except tango.DevFailed:
            if time.monotonic() > deadline or server.poll() is not None:
                raise SystemExit("ZelusbDS did not start; see " + log.name)
            time.sleep(0.2)
    print("The server booted the default bench's units (live: real time). A client:\n")
    motor = tango.DeviceProxy(name % "demo/kestrin/1")
    print(">>> motor = tango.DeviceProxy(%r)" % (name % "demo/kestrin/1"))
    print(">>> motor.state(), motor.Position, motor.Velocity   # StepsPerUnit 100: millimetres, say")
    print("   ", (motor.state(), motor.Position, motor.Velocity))
    events = []

    def received(event):
        if not event.err:
            events.append("%s %s" % (event.attr_value.name.lower(), event.attr_value.value))

    print(">>> motor.subscribe_event('State' and 'Position', tango.EventType.CHANGE_EVENT, received)")
    kind = tango.EventType.CHANGE_EVENT
    subscriptions = [motor.subscribe_event(attribute, kind, received) for attribute in ("State", "Position")]
    print(">>> motor.Velocity = 20; motor.Position = 8.0        # returns at once")
    motor.Velocity = 20
    motor.Position = 8.0
    print("    state right after the write:", motor.state())
    print(">>> tango.DeviceProxy(... 'demo/kestrin/2').MoveRelative(1.0)   # while motor 1 moves")
    try:
        tango.DeviceProxy(name % "demo/kestrin/2").MoveRelative(1.0)
    except tango.DevFailed as failure:
        print("    DevFailed %s: %s" % (failure.args[0].reason, failure.args[0].desc))
    while "state ON" not in events[2:]:
        time.sleep(0.05)
    print("    events received:", ", ".join(events))
    for subscription in subscriptions:
        motor.unsubscribe_event(subscription)
    print(">>> motor.MoveRelative(-100.0); time.sleep(0.3); motor.Stop()")
    motor.MoveRelative(-100.0)
    time.sleep(0.3)
    motor.Stop()
    while motor.state() == tango.DevState.MOVING:
        time.sleep(0.05)
    print("   ", motor.state(), "at", motor.Position, "|", motor.status())
    unit = tango.DeviceProxy(name % "demo/orvane/unit")
    print(">>> unit = tango.DeviceProxy(... 'demo/orvane/unit'); unit.SerialNumber, unit.Temperature")
    print("   ", (unit.SerialNumber, unit.Temperature), "|", unit.status())
finally:
    os.kill(server.pid, signal.SIGTERM)
    server.wait(timeout=20)
