"""The cost of one member call through Python against the same call from C, in one run:
get_motor_position(1) on a Kestrin control of the default virtual bench, timed over N calls
by the C check program (zelusbc_check measure N) and by this script through the installed
zelusb package, in alternating rounds; prints the median of each side.

    python/with_wheel.sh build/native python $PWD/python/benchmarks/measure_call.py [CALLS] [ROUNDS]
"""

import os
import statistics
import subprocess
import sys
import time

import zelusb


def python_micros(calls: int) -> float:
    with zelusb.Bench() as bench, zelusb.KestrinControl(bench) as kestrin:
        call = kestrin.get_motor_position
        start = time.perf_counter()
        for _ in range(calls):
            call(1)
        return (time.perf_counter() - start) * 1e6 / calls


def c_micros(calls: int) -> float:
    run = subprocess.run([os.environ["ZELUSB_C_CHECK"], "measure", str(calls)], capture_output=True, text=True, check=True)
    return float(run.stdout)


def main() -> None:
    calls = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    c, python = [], []
    for _ in range(rounds):
        c.append(c_micros(calls))
        python.append(python_micros(calls))
    c_median, python_median = statistics.median(c), statistics.median(python)
    print("get_motor_position on the virtual bench, %d calls x %d rounds (median):" % (calls, rounds))
    print("  from C:      %7.2f us per call" % c_median)
    print("  from Python: %7.2f us per call (%.1f times, +%.2f us)" % (python_median, python_median / c_median, python_median - c_median))


if __name__ == "__main__":
    main()
