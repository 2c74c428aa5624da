"""Moves as futures: MotorStatus, MoveResult, Move, and the record of a control's moves that
completes them from the library's move events.

On a virtual bench time moves only while a caller waits (a synchronous move, result(), await,
concurrent.futures.wait): the waiting takes the events, so a session prints the same from run
to run. On a live bench and on real units the library's thread for the control delivers the
events, so a move completes by itself and its done callbacks run on that thread."""

from __future__ import annotations

import asyncio
import collections
import concurrent.futures
import ctypes
import enum
import threading
import time
from typing import Any, Callable, Deque, Dict, Generator, List, NamedTuple, Optional, Tuple

from . import _library
from ._library import lib
from .errors import ErrorCode, MoveTimeout, ZelError, error_for

# How long one wait lasts before Python looks at its signals (Ctrl-C) again, in seconds.
SLICE = 0.05


class MotorStatus(enum.IntEnum):
    """What get_motor_status reports of a motor."""

    STOPPED = 0
    RUNNING = 1
    END_FORWARD = 2  # stopped at the forward end switch
    END_BACKWARD = 3  # stopped at the backward end switch
    ERROR = 4  # the unit did not answer


class MoveResult(NamedTuple):
    """How a move ended: the motor, its status and where it rests."""

    motor: int
    status: MotorStatus
    position: int


class Moves:
    """The moves of one control not yet completed, per motor in the order they started, and
    how the control's move events reach them."""

    def __init__(
        self, lock: "threading.RLock", handle: Callable[[], int], last: Callable[[], Tuple[int, str]], live: bool
    ) -> None:
        self.lock = lock  # the control's own lock
        self.handle = handle
        self.last = last  # the control's status code and its message, read together
        self.live = live
        self._guard = threading.Lock()  # over _pending only: the library's thread takes it too
        self._pending: Dict[int, Deque[Move]] = collections.defaultdict(collections.deque)
        self._callback: Any = None

    def listen(self) -> None:
        """Has the library's thread deliver the events (live benches and real units)."""
        self._callback = _library.EVENT_CALLBACK(lambda _, event: self.complete(event.contents))
        _library.check(lib.zel_set_event_callback(self.handle(), self._callback, None))

    def start(self, member: str, motor: int, begin: Callable[[], Optional[ZelError]], limit: Optional[float]) -> Move:
        """Starts a move with `begin()` (under the control's lock), which tells why the unit
        refused it, or None; raises that refusal."""
        move = Move(self, member, motor, limit)
        with self._guard:  # before the start: its event may come at once
            self._pending[motor].append(move)
        refusal: Optional[ZelError] = ZelError(0, "No Error", member, "interrupted")
        try:
            with self.lock:
                refusal = begin()
        finally:
            if refusal is not None:
                with self._guard:
                    self._pending[motor].remove(move)
        if refusal is not None:
            raise refusal
        return move

    def pump(self, seconds: float) -> None:
        """Takes one event, pausing up to `seconds` of the bench's time for it (virtual benches)."""
        event = _library.Event()
        with self.lock:
            result = lib.zel_next_event(self.handle(), int(seconds * 1000), ctypes.byref(event))
        if result != _library.ERROR_TIMEOUT:
            _library.check(result)
            self.complete(event)

    def complete(self, event: _library.Event) -> None:
        with self._guard:
            waiting = self._pending.get(event.motor)
            move = waiting.popleft() if waiting else None
        if move is None or move.done():  # cancelled, timed out or its control closed
            return
        if event.status == MotorStatus.ERROR:
            why = "motor %d: its status could not be read at the end of the move" % event.motor
            code, text = self.last()  # the failed read left its code as the control's last
            if code != event.last_error:
                code, text = event.last_error, ErrorCode(event.last_error).name
            move._finish(error=error_for(code, text, move.member, why))
        else:
            move._finish(MoveResult(event.motor, MotorStatus(event.status), event.position))

    def abandon(self, why: str) -> None:
        """Fails every pending move: the control was closed."""
        with self._guard:
            moves = [move for waiting in self._pending.values() for move in waiting]
            self._pending.clear()
        for move in moves:
            move._finish(error=ZelError(0, "No Error", move.member, why))

    def stop(self, motor: int) -> bool:
        """Stops `motor` when it still runs; whether it did."""
        status = ctypes.c_int32()
        done = ctypes.c_int()
        with self.lock:
            handle = self.handle()
            _library.check(lib.zel_get_motor_status(handle, motor, ctypes.byref(status)))
            if status.value != MotorStatus.RUNNING:
                return False
            _library.check(lib.zel_stop(handle, motor, ctypes.byref(done)))
        return True


class _DrivingWaiters(List[Any]):
    """The waiters list of a Move on a virtual bench. concurrent.futures.wait and as_completed
    register a waiter here and then only sleep; registering one starts a thread that takes the
    control's events until the move is done or no waiter is left, so those waits end too."""

    def __init__(self, move: "Move") -> None:
        super().__init__()
        self._move = move
        self._driving = False

    def append(self, waiter: Any) -> None:
        super().append(waiter)
        if not self._driving and not self._move.done():
            self._driving = True
            threading.Thread(target=self._drive, name="zelusb-wait", daemon=True).start()

    def _drive(self) -> None:
        try:
            while len(self) and not self._move.done():
                self._move._moves.pump(SLICE)
        except Exception as error:  # the control was closed or failed: the move fails with it
            self._move._finish(error=error)
        finally:
            self._driving = False


class Move(concurrent.futures.Future):  # type: ignore[type-arg]
    """A move started with asynchronous=True: a concurrent.futures.Future whose result is the
    MoveResult.

    result(timeout), exception(), done(), add_done_callback() and concurrent.futures.wait /
    as_completed work as on any future; `await move` waits in asyncio without blocking the event
    loop, and stops the motor and raises MoveTimeout when the move's own `timeout` passes.
    cancel() stops the motor and is True while it still moved. A move that ends at an end switch
    or by stop() completes normally with that status; one whose unit is lost completes with
    ZelError as its exception."""

    def __init__(self, moves: Moves, member: str, motor: int, limit: Optional[float]) -> None:
        super().__init__()
        self._moves = moves
        self.member = member
        self.motor = motor
        self.limit = limit
        if not moves.live:
            self._waiters = _DrivingWaiters(self)

    def __repr__(self) -> str:
        state = "done" if self.done() else "pending"
        return "<zelusb.Move %s(%d) %s>" % (self.member, self.motor, state)

    def _finish(self, result: Optional[MoveResult] = None, error: Optional[BaseException] = None) -> None:
        try:
            if error is not None:
                self.set_exception(error)
            else:
                self.set_result(result)
        except concurrent.futures.InvalidStateError:
            pass  # it was cancelled meanwhile

    def _settle(self, timeout: Optional[float]) -> bool:
        """Waits until the move is done or `timeout` seconds passed (None: no limit), on the
        bench's time; whether it is done."""
        if self._moves.live:
            deadline = None if timeout is None else time.monotonic() + timeout
            while not self.done():
                left = SLICE if deadline is None else min(SLICE, deadline - time.monotonic())
                if left <= 0:
                    return False
                concurrent.futures.wait([self], left)
            return True
        spent = 0.0
        while not self.done():
            if timeout is not None and spent >= timeout:
                return False
            step = SLICE if timeout is None else min(SLICE, timeout - spent)
            self._moves.pump(step)
            spent += step
        return True

    def result(self, timeout: Optional[float] = None) -> MoveResult:
        """The MoveResult once the move ended, waiting up to `timeout` seconds (None: as long as
        it takes); concurrent.futures.TimeoutError when it still runs then (it keeps running)."""
        if not self._settle(timeout):
            raise concurrent.futures.TimeoutError()
        return super().result(0)  # type: ignore[no-any-return]

    def exception(self, timeout: Optional[float] = None) -> Optional[BaseException]:
        if not self._settle(timeout):
            raise concurrent.futures.TimeoutError()
        return super().exception(0)

    def cancel(self) -> bool:
        """Stops the motor while the move runs; True when it still moved (the move is then
        cancelled), False when it had ended."""
        if self.done():
            return False
        if not self._moves.stop(self.motor):
            if not self._moves.live:
                self._moves.pump(0)  # its event is there: the move completes
            return False
        return super().cancel()

    def finish(self) -> MoveResult:
        """Waits for the end within the move's own limit; when it passes, stops the motor and
        raises MoveTimeout. On KeyboardInterrupt stops the motor, then re-raises."""
        try:
            ended = self._settle(self.limit)
        except KeyboardInterrupt:
            self.cancel()
            raise
        if not ended:
            self.cancel()
            raise MoveTimeout(
                0, "No Error", self.member, "motor %d still moved after %g s; it was stopped" % (self.motor, self.limit or 0)
            )
        return self.result()

    def __await__(self) -> Generator[Any, None, MoveResult]:
        return self._awaited().__await__()

    async def _awaited(self) -> MoveResult:
        loop = asyncio.get_running_loop()
        try:
            return await loop.run_in_executor(None, self.finish)
        except asyncio.CancelledError:
            self.cancel()  # the waiting thread ends with the move
            raise
