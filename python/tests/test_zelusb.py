"""The zelusb package as installed from its wheel: sessions on the virtual bench for each class,
failures as ZelError, with blocks, a live bench, argument types, bench descriptions, and a
session on "real" units through the emulated USB bus of the usb tests."""

import json
import os
import shutil
import subprocess
import sys
import time

import pytest

import zelusb
from zelusb import MotorStatus, ZelError


def orvane_extras(orvane):
    assert orvane.temperature == 0.0  # channel 4 at its middle value
    assert orvane.adc(4) == 2048.0
    orvane.temperature = 25.0  # the actuator steps until the sensor reads it
    assert orvane.temperature == 25.0
    assert orvane.adc(4) > 2048.0
    assert orvane.undervoltage_detection is True
    orvane.undervoltage_detection = False
    assert orvane.undervoltage_detection is False


def kestrin_extras(kestrin):
    assert not hasattr(kestrin, "temperature")
    assert not hasattr(kestrin, "set_shutter_state")


def polyax_extras(polyax):
    assert polyax.get_shutter_state(1) is False
    polyax.set_shutter_state(1, True)
    assert polyax.get_shutter_state(1) is True
    with pytest.raises(ValueError, match="shutter must be 1 to 2"):
        polyax.set_shutter_state(3, True)


SESSIONS = [
    (zelusb.OrvaneControl, "OR-0001", orvane_extras),
    (zelusb.KestrinControl, "KS-0001", kestrin_extras),
    (zelusb.PolyaxControl, "PX-0001", polyax_extras),
]


@pytest.mark.parametrize("cls, serial, extras", SESSIONS, ids=lambda v: getattr(v, "__name__", v))
def test_a_session_on_the_default_bench(bench, cls, serial, extras):
    with cls(bench) as control:
        # Creating the control booted the unit's firmware.
        assert control.is_device_present() is True
        assert control.firmware_version == "1.0"
        assert control.get_serial() == serial
        control.set_motor_freq(1, 1000)
        assert 900 < control.get_motor_freq(1) < 1100
        assert control.get_motor_mode(1) == 2
        control.set_motor_mode(1, 2)
        assert control.move_motor(1, 400) == zelusb.MoveResult(1, MotorStatus.STOPPED, 400)
        assert control.get_motor_position(1) == 400
        control.move_to_pos(1, -100)
        assert control.get_motor_position(1) == -100
        control.move_home(1, asynchronous=True)
        status = control.get_motor_status(1)
        assert status is MotorStatus.RUNNING and isinstance(status, MotorStatus)
        control.stop(1)
        assert control.get_motor_status(1) == MotorStatus.STOPPED
        with pytest.raises(ValueError, match="motor must be 1 to"):
            control.move_motor(33, 10)
        control.set_serial("")
        assert (control.last_error, control.last_error_text) == (0, "No Error")
        extras(control)


UNKNOWN_SERIAL = [
    ("set_serial", lambda cls, bench: cls(bench).set_serial("XX-9999")),
    ("constructor", lambda cls, bench: cls(bench, serial="XX-9999")),
]


@pytest.mark.parametrize("cls", [c for c, _, _ in SESSIONS], ids=lambda c: c.__name__)
@pytest.mark.parametrize("how, select", UNKNOWN_SERIAL, ids=[r[0] for r in UNKNOWN_SERIAL])
def test_an_unknown_serial_number_raises_no_device(bench, cls, how, select):
    with pytest.raises(ZelError) as failure:
        select(cls, bench)
    assert (failure.value.code, failure.value.text) == (1, "No Device")
    assert "No Device" in str(failure.value)
    # Left without a unit, the control fails on every device member.
    control = cls(bench, serial="")
    with pytest.raises(ZelError):
        control.set_serial("XX-9999")
    assert control.is_device_present() is False
    with pytest.raises(ZelError) as failure:
        control.get_motor_position(1)
    assert failure.value.code == 1
    control.close()


CLOSED_CALLS = [
    ("control", lambda bench: zelusb.KestrinControl(bench), lambda c: c.get_serial()),
    ("property", lambda bench: zelusb.OrvaneControl(bench), lambda c: c.temperature),
    ("bench", lambda bench: zelusb.Bench(), lambda b: zelusb.PolyaxControl(b)),
]


@pytest.mark.parametrize("what, make, use", CLOSED_CALLS, ids=[r[0] for r in CLOSED_CALLS])
def test_a_with_block_closes(bench, what, make, use):
    with make(bench) as thing:
        assert not thing.closed
        use(thing)
    assert thing.closed
    with pytest.raises(ValueError, match="closed"):
        use(thing)
    thing.close()  # again: nothing happens


def test_a_control_keeps_its_bench_after_the_bench_is_closed():
    with zelusb.Bench() as bench:
        kestrin = zelusb.KestrinControl(bench)
    kestrin.move_motor(2, 30)
    assert kestrin.get_motor_position(2) == 30
    kestrin.close()


@pytest.mark.parametrize("live, least, most", [(False, 0.0, 0.5), (True, 1.0, 30.0)], ids=["virtual", "live"])
def test_a_live_bench_runs_on_real_time(live, least, most):
    # Booting a unit waits for its heartbeat twice, 500 ms each: real time only when live.
    started = time.monotonic()
    with zelusb.Bench(live=live) as bench, zelusb.KestrinControl(bench) as kestrin:
        booted = time.monotonic() - started
        kestrin.move_motor(1, 20)
        assert kestrin.get_motor_position(1) == 20
    assert least <= booted < most


DESCRIPTION = {"units": [{"device": 7, "model": "kestrin", "serial": "KS-0042", "version": [2, 10]}]}


def as_file(tmp_path, content):
    path = tmp_path / "bench.json"
    path.write_text(content)
    return path


DESCRIPTIONS = [
    ("dict", lambda tmp: DESCRIPTION),
    ("text", lambda tmp: json.dumps(DESCRIPTION)),
    ("path", lambda tmp: str(as_file(tmp, json.dumps(DESCRIPTION)))),
    ("pathlib", lambda tmp: as_file(tmp, json.dumps(DESCRIPTION))),
]


@pytest.mark.parametrize("how, describe", DESCRIPTIONS, ids=[r[0] for r in DESCRIPTIONS])
def test_a_bench_description_as_dict_text_or_file(tmp_path, how, describe):
    with zelusb.Bench(describe(tmp_path)) as bench, zelusb.KestrinControl(bench) as kestrin:
        assert (kestrin.get_serial(), kestrin.firmware_version) == ("KS-0042", "2.10")


CLASSES_AND_MODELS = [
    (zelusb.OrvaneControl, "orvane"),
    (zelusb.KestrinControl, "kestrin"),
    (zelusb.PolyaxControl, "polyax"),
]


@pytest.mark.parametrize("cls, model", CLASSES_AND_MODELS, ids=[m for _, m in CLASSES_AND_MODELS])
def test_short_moves_run_once_on_a_bench_with_request_time(cls, model):
    unit = {"device": 0, "model": model, "firmware": "running"}
    with zelusb.Bench({"requestMicros": 1000, "units": [unit]}) as bench, cls(bench) as control:
        control.set_motor_freq(1, 13333)  # a step every 75 us, far less than one request
        for _ in range(20):
            control.move_motor(1, 3)
        assert control.get_motor_position(1) == 60


BAD_DESCRIPTIONS = [
    ({"units": [{"device": 200, "model": "kestrin"}]}, zelusb.BenchError, "units[0].device: expected an integer from 0 to 127"),
    ('{"units": [{"device": 1, "model": "kestrel"}]}', ValueError, "units[0].model"),
    ("{units", ValueError, ""),
    ("no/such/bench.json", FileNotFoundError, "no/such/bench.json"),
    (42, TypeError, "description"),
]


@pytest.mark.parametrize("description, error, message", BAD_DESCRIPTIONS)
def test_a_bad_bench_description_says_what_is_wrong(description, error, message):
    with pytest.raises(error) as failure:
        zelusb.Bench(description)
    assert message in str(failure.value)


WRONG_ARGUMENTS = [
    ("motor as text", lambda k: k.move_motor("1", 10), TypeError),
    ("motor as float", lambda k: k.get_motor_position(1.0), TypeError),
    ("motor as bool", lambda k: k.get_motor_position(True), TypeError),
    ("steps beyond 32 bits", lambda k: k.move_motor(1, 2**31), OverflowError),
    ("asynchronous as text", lambda k: k.move_home(1, "yes"), TypeError),
    ("serial as number", lambda k: k.set_serial(42), TypeError),
    ("bench as text", lambda k: zelusb.KestrinControl("bench"), TypeError),
    ("temperature as text", lambda k: zelusb.OrvaneControl(k.bench).__setattr__("temperature", "hot"), TypeError),
    ("live as text", lambda k: zelusb.Bench(live="yes"), TypeError),
]


class WithBench:
    def __init__(self, bench):
        self.bench = bench
        self.control = zelusb.KestrinControl(bench)

    def __getattr__(self, name):
        return getattr(self.control, name)


@pytest.mark.parametrize("what, call, error", WRONG_ARGUMENTS, ids=[r[0] for r in WRONG_ARGUMENTS])
def test_wrong_argument_types_raise_type_error(bench, what, call, error):
    with pytest.raises(error):
        call(WithBench(bench))


def test_help_reads_like_the_readme():
    text = zelusb.KestrinControl.__doc__ + zelusb.KestrinControl.move_motor.__doc__
    assert "KestrinControl(bench=None, serial=None)" in text
    assert "steps" in text
    annotations = zelusb.KestrinControl.get_motor_status.__annotations__
    assert annotations["return"] in (MotorStatus, "MotorStatus")


REAL_UNITS_SESSION = """
import zelusb
with zelusb.KestrinControl() as kestrin:
    print(kestrin.is_device_present(), kestrin.get_serial(), kestrin.firmware_version)
    kestrin.move_motor(1, 50)
    print(kestrin.get_motor_position(1))
with zelusb.PolyaxControl(serial="PX-0001") as polyax:
    polyax.set_shutter_state(2, True)
    print(polyax.get_shutter_state(2))
"""


def on_real_units(session):
    """Runs the Python `session` on the emulated USB bus with the default bench's units."""
    host = os.environ.get("ZELUSB_USB_HOST")
    wrapper = shutil.which("umockdev-wrapper")
    if not host or not wrapper:
        pytest.skip("needs the native build's usb_session_host and umockdev-wrapper")
    return subprocess.run(
        [wrapper, host, sys.executable, "-c", session], capture_output=True, text=True, timeout=120
    )


def test_a_session_on_real_units_through_libusb():
    run = on_real_units(REAL_UNITS_SESSION)
    assert run.returncode == 0, run.stderr
    assert run.stdout == "True KS-0001 1.0\n50\nTrue\n"


def readme_examples():
    """The Python examples of the README's "From Python" section, in order."""
    readme = os.environ.get("ZELUSB_README")
    if not readme:
        pytest.skip("ZELUSB_README names the README (python/with_wheel.sh sets it)")
    with open(readme, encoding="utf-8") as file:
        text = file.read()
    section = text.split("## From Python", 1)[1].split("\n## ", 1)[0]
    return [block.split("```", 1)[0] for block in section.split("```python\n")[1:]]


README_OUTPUT = """KS-0001 1.0
MoveResult(motor=1, status=<MotorStatus.STOPPED: 0>, position=400)
RUNNING
END_BACKWARD -1000000
MoveResult(motor=2, status=<MotorStatus.STOPPED: 0>, position=-300)
NoDeviceError 1 No Device
"""

README_RUNS = [
    ("on the default bench", lambda code: subprocess.run([sys.executable, "-c", code], capture_output=True, text=True), README_OUTPUT),
    ("on real units", on_real_units, "KS-0001 400\n"),
]


@pytest.mark.parametrize("index", range(len(README_RUNS)), ids=[r[0] for r in README_RUNS])
def test_the_readme_examples_run_as_written(index):
    examples = readme_examples()
    assert len(examples) == len(README_RUNS)
    _, run_it, output = README_RUNS[index]
    run = run_it(examples[index])
    assert (run.returncode, run.stdout) == (0, output), run.stderr
