"""Moves as futures, the exceptions, the argument checks, one control on two threads, and the
wheels (the Linux one in a fresh virtual environment without libusb, the Windows ones by
their contents)."""

import asyncio
import concurrent.futures
import glob
import os
import pickle
import shutil
import signal
import subprocess
import sys
import threading
import time
import zipfile

import pytest

import zelusb
from zelusb import MotorStatus, MoveResult


def by_result(move):
    return move.result()


def by_await(move):
    async def wait():
        return await move

    return asyncio.run(wait())


def by_wait(move):
    done, _ = concurrent.futures.wait([move], timeout=10)
    return next(iter(done)).result(0)


COMPLETIONS = [("result", by_result), ("await", by_await), ("futures.wait", by_wait)]


@pytest.mark.parametrize("how, complete", COMPLETIONS, ids=[r[0] for r in COMPLETIONS])
def test_a_move_completes_by_result_await_and_wait(bench, how, complete):
    with zelusb.KestrinControl(bench) as kestrin:
        move = kestrin.move_motor(2, 3000, asynchronous=True)
        assert isinstance(move, concurrent.futures.Future) and not move.done()
        assert complete(move) == MoveResult(2, MotorStatus.STOPPED, 3000)
        assert move.done() and kestrin.get_motor_position(2) == 3000


ENDINGS = [
    ("cancel", lambda k, m: m.cancel() is True and m.cancelled()),
    ("timeout", lambda k, m: pytest.raises(zelusb.MoveTimeout, k.move_motor, 1, 10**6, timeout=0.5)),
    ("stop", lambda k, m: k.stop(1) is None and m.result().status is MotorStatus.STOPPED),
]


@pytest.mark.parametrize("how, end", ENDINGS, ids=[r[0] for r in ENDINGS])
def test_cancel_timeout_and_stop_end_the_move_and_the_motor_rests(bench, how, end):
    with zelusb.KestrinControl(bench) as kestrin:
        move = None
        if how != "timeout":
            move = kestrin.move_motor(1, 10**6, asynchronous=True)
            with pytest.raises(concurrent.futures.TimeoutError):
                move.result(0.2)  # the bench's time moves, the move goes on
        assert end(kestrin, move)
        assert kestrin.get_motor_status(1) is MotorStatus.STOPPED
        assert 0 < kestrin.get_motor_position(1) < 10**6


def test_on_a_live_bench_a_move_completes_by_itself_and_sigint_stops_the_next():
    with zelusb.Bench(live=True) as bench, zelusb.KestrinControl(bench) as kestrin:
        called = threading.Event()
        threads = []
        move = kestrin.move_motor(1, 100, asynchronous=True)
        move.add_done_callback(lambda m: (threads.append(threading.current_thread()), called.set()))
        assert called.wait(10) and threads[0] is not threading.main_thread()
        assert move.result(0).position == 100
        sent = []
        timer = threading.Timer(0.5, lambda: (sent.append(time.monotonic()), os.kill(os.getpid(), signal.SIGINT)))
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            kestrin.move_motor(1, 3000)
        assert time.monotonic() - sent[0] < 0.5
        assert kestrin.get_motor_status(1) is MotorStatus.STOPPED


ERRORS = [
    ("NoDeviceError", lambda b: zelusb.KestrinControl(b, serial="XX-1"), zelusb.NoDeviceError, 1),
    ("MotorBusyError", lambda b: [k := zelusb.KestrinControl(b), k.move_motor(1, 9999, True), k.move_motor(1, 5)], zelusb.MotorBusyError, 0),
    ("NoReadingError", lambda b: zelusb.OrvaneControl(b).adc(0), zelusb.NoReadingError, 0),
    ("BenchError", lambda b: zelusb.Bench('{"units": [{"device": 1, "model": "kestrel"}]}'), zelusb.BenchError, 0),
    ("MoveTimeout", lambda b: zelusb.KestrinControl(b).move_home(1, timeout=0), zelusb.MoveTimeout, 0),
    ("unplugged", lambda b: [b.unplug(1), zelusb.KestrinControl(b).get_serial(), zelusb.KestrinControl(b).stop(1)], zelusb.NoDeviceError, 1),
]


@pytest.mark.parametrize("what, fail, error, code", ERRORS, ids=[r[0] for r in ERRORS])
def test_each_failure_raises_its_exception_with_a_reason_and_pickles(bench, what, fail, error, code):
    with pytest.raises(error) as raised:
        fail(bench)
    failure = raised.value
    assert isinstance(failure, zelusb.ZelError) and failure.code == code
    assert failure.code != 0 or failure.reason  # never "No Error" without saying why
    copy = pickle.loads(pickle.dumps(failure))
    assert (type(copy), str(copy), copy.member) == (type(failure), str(failure), failure.member)


BAD_ARGUMENTS = [
    ("kestrin motor 3", zelusb.KestrinControl, lambda c: c.get_motor_position(3), ValueError, "motor must be 1 to 2"),
    ("polyax motor 33", zelusb.PolyaxControl, lambda c: c.get_motor_mode(33), ValueError, "motor must be 1 to 32"),
    ("kestrin motor 0", zelusb.KestrinControl, lambda c: c.set_motor_freq(0, 100), ValueError, "motor must be 1 to 2"),
    ("channel 8", zelusb.OrvaneControl, lambda c: c.adc(8), ValueError, "channel must be 0 to 7"),
    ("freq 0", zelusb.KestrinControl, lambda c: c.set_motor_freq(1, 0), ValueError, "freq must be 1 to 13333"),
    ("mode 4", zelusb.KestrinControl, lambda c: c.set_motor_mode(1, 4), ValueError, "mode must be 1 to 2"),
    ("shutter 3", zelusb.PolyaxControl, lambda c: c.get_shutter_state(3), ValueError, "shutter must be 1 to 2"),
    ("temperature nan", zelusb.OrvaneControl, lambda c: setattr(c, "temperature", float("nan")), ValueError, "finite"),
    ("serial with NUL", zelusb.KestrinControl, lambda c: c.set_serial("KS-0001\x00junk"), ValueError, "NUL"),
    ("serial beyond cp1252", zelusb.KestrinControl, lambda c: c.set_serial("KS-\u4e2d"), ValueError, "Windows-1252"),
    ("timeout negative", zelusb.KestrinControl, lambda c: c.move_motor(1, 5, timeout=-1), ValueError, "timeout"),
    ("device 128", None, lambda b: b.unplug(128), ValueError, "device must be 0 to 127"),
]


@pytest.mark.parametrize("what, cls, call, error, message", BAD_ARGUMENTS, ids=[r[0] for r in BAD_ARGUMENTS])
def test_arguments_are_checked_before_anything_is_sent(bench, what, cls, call, error, message):
    target = cls(bench) if cls else bench
    with pytest.raises(error, match=message):
        call(target)
    if cls:
        assert target.last_error == zelusb.ErrorCode.NO_ERROR and target.get_motor_position(1) == 0


def test_a_non_ascii_serial_round_trips_through_the_description():
    with zelusb.Bench({"units": [{"device": 4, "model": "kestrin", "serial": "KS-\u00c4\u20ac"}]}) as bench:
        kestrin = zelusb.KestrinControl(bench, serial="KS-\u00c4\u20ac")
        assert (kestrin.get_serial(), kestrin.device_number) == ("KS-\u00c4\u20ac", 4)
        assert repr(kestrin) == "<zelusb.KestrinControl KS-\u00c4\u20ac at device 4 on bench>"
        kestrin.close()
        assert repr(kestrin) == "<zelusb.KestrinControl closed>"


def test_two_threads_share_one_control(bench):
    kestrin = zelusb.KestrinControl(bench)
    failures = []

    def work(motor):
        try:
            for k in range(1000):
                kestrin.set_motor_mode(motor, 1 + k % 2)
                assert kestrin.get_motor_mode(motor) in (1, 2)
        except Exception as error:  # pragma: no cover - reported below
            failures.append(error)

    threads = [threading.Thread(target=work, args=(m,)) for m in (1, 2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == [] and kestrin.is_device_present() and kestrin.get_serial() == "KS-0001"
    kestrin.close()


WITHOUT_LIBUSB = """
import zelusb
with zelusb.KestrinControl(zelusb.Bench()) as kestrin:
    print(kestrin.move_motor(1, 40).position)
try:
    zelusb.KestrinControl()
except zelusb.NoDeviceError as error:
    print("libusb-1.0" in str(error))
"""


def test_the_wheel_installs_in_a_fresh_venv_and_runs_the_bench_without_libusb(tmp_path):
    wheel = os.environ.get("ZELUSB_WHEEL")
    libusb = os.path.realpath("/lib/x86_64-linux-gnu/libusb-1.0.so.0")
    if not wheel or not shutil.which("unshare") or subprocess.run(["unshare", "-m", "true"]).returncode:
        pytest.skip("needs python/with_wheel.sh (ZELUSB_WHEEL) and unshare -m")
    assert wheel.endswith("-py3-none-linux_x86_64.whl")
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--without-pip", str(tmp_path / "venv")], check=True)
    python = str(tmp_path / "venv" / "bin" / "python")
    with zipfile.ZipFile(wheel) as archive:  # a wheel is unpacked into site-packages as it is
        archive.extractall(glob.glob(str(tmp_path / "venv/lib/python3*/site-packages"))[0])
    # The loader finds libusb nowhere: its file reads as empty in this mount namespace.
    hide = "mount --bind /dev/null %s && exec %s -c '%s'" % (libusb, python, WITHOUT_LIBUSB)
    run = subprocess.run(["unshare", "-m", "sh", "-c", hide], capture_output=True, text=True, cwd=str(tmp_path))
    assert (run.returncode, run.stdout) == (0, "40\nTrue\n"), run.stderr


@pytest.mark.parametrize("platform, bits", [("win_amd64", 64), ("win32", 32)])
def test_a_windows_wheel_holds_its_dll_and_the_package_picks_it(platform, bits):
    from zelusb._library import library_name

    assert library_name("win32", bits) == "zelusbc%d.dll" % bits
    wheels = glob.glob(os.path.join(os.environ.get("ZELUSB_PACKAGES", "/nonexistent"), "*-py3-none-%s.whl" % platform))
    if not wheels:
        pytest.skip("ZELUSB_PACKAGES holds no %s wheel (scripts/test builds them)" % platform)
    names = set(zipfile.ZipFile(wheels[0]).namelist())
    assert {"zelusb/zelusbc%d.dll" % bits, "zelusb/CypressFirmwareKestrin.ihx", "zelusb/controls.py"} <= names
    assert not [n for n in names if n.endswith(".so")]
