/* zelusbc: the ZEL motion-control units (Orvane, Kestrin, Polyax) from C, without COM.
 *
 * The library is libzelusbc.so on Linux and zelusbc32.dll / zelusbc64.dll on 32- and 64-bit
 * Windows (the cdecl calling convention on both). The firmware images
 * CypressFirmware{Orvane,Kestrin,Polyax}.ihx must lie beside the library file.
 *
 * A control is created for a class ("orvane", "kestrin" or "polyax"), either on the units
 * attached to the machine (libusb on Linux, the Cypress driver on Windows) or on a virtual
 * bench. Creating it searches the class's units, boots one whose firmware is not running and
 * selects it; it succeeds whether or not a unit was found.
 *
 * Results. Every function returns ZEL_OK (0) when it ran, or a negative ZEL_ERROR_* code when
 * it was called wrongly or could not run; nothing else is written then. A call that ran may
 * still have failed on the unit: as with the automation members, that shows in the result
 * (booleans are 1 and 0; a status of ZEL_MOTOR_ERROR, a position or analogue reading of
 * 2147483647, an infinite temperature) and in zel_get_last_error / zel_get_last_error_text,
 * the unit's status code (0 to 14) and its message.
 *
 * Texts are zero-terminated, in the ANSI code page (Windows-1252 off Windows); a bench
 * description alone is JSON in UTF-8, and its texts become the units' code page. A text result
 * goes into the caller's buffer of `size` bytes; `*length`, when `length` is not null, receives
 * the text's length without the terminating zero. A buffer shorter than length + 1 bytes gets
 * an empty text (when size > 0) and the call returns ZEL_ERROR_BUFFER_TOO_SMALL: call again
 * with a larger one. A null buffer with size 0 asks for the length only, and the call returns
 * ZEL_OK.
 *
 * Threads. Every call on a control holds that control's lock for its length, so calls from
 * several threads on one control take turns. A synchronous move thus holds its control until
 * the motor rests; zel_stop through another control of the same class ends it. Different
 * controls may be used from different threads at once, on one bench or on real units; the
 * controls of one class take turns on the wire. Creating a control and zel_set_serial, which
 * both search the class's units, take turns within the process for each class, so two never
 * probe the same unit at once. Benches and controls may be created and destroyed on any thread.
 *
 * Move events. A control remembers each move it started (zel_move_motor, zel_move_to_pos,
 * zel_move_home, synchronous or not) until its motor rests, and then produces one event: what
 * kind of move, the motor, its final status and position, the code of a read that failed, and
 * a sequence number. A refused move (*result 0) produces none; a synchronous move has produced
 * its event when it returns; a new move on a motor whose event has not come yet produces the
 * earlier move's event first. Asynchronous moves end while someone looks: zel_wait_motor,
 * zel_next_event and the callback's thread read the unit every 10 ms while moves are pending,
 * pausing through the driver; on a virtual bench the bench's time moves with the pauses, as in
 * a synchronous move, and no real time passes. The latest 256 events not yet taken are kept; a
 * gap in the sequence numbers tells that older ones were dropped.
 *
 * Handles. A destroyed, null or made-up handle is refused with ZEL_ERROR_HANDLE, never
 * followed. A bench lives until it and every control on it are destroyed.
 */
#ifndef ZELUSBC_H
#define ZELUSBC_H

#include <stddef.h>
#include <stdint.h>

/* The calling convention of the functions and the callback: cdecl, also where a compiler's
 * option makes another the default on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define ZELUSBC_CALL __cdecl
#else
#define ZELUSBC_CALL
#endif

#ifdef _WIN32
#ifdef ZELUSBC_BUILDING
#define ZELUSBC_API __declspec(dllexport) ZELUSBC_CALL
#else
#define ZELUSBC_API __declspec(dllimport) ZELUSBC_CALL
#endif
#else
#define ZELUSBC_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct zel_bench zel_bench;     /* a virtual bench */
typedef struct zel_control zel_control; /* one control of one class */

/* What a function returns. */
#define ZEL_OK 0
#define ZEL_ERROR_HANDLE (-1)           /* null, destroyed or unknown handle */
#define ZEL_ERROR_NULL_POINTER (-2)     /* a required pointer is null */
#define ZEL_ERROR_BUFFER_TOO_SMALL (-3) /* the text did not fit; *length tells its length */
#define ZEL_ERROR_UNKNOWN_CLASS (-4)    /* not "orvane", "kestrin" or "polyax" */
#define ZEL_ERROR_BENCH (-5)            /* the bench description cannot be read or is malformed */
#define ZEL_ERROR_NOT_A_MEMBER (-6)     /* the member is not one of the control's class */
#define ZEL_ERROR_NO_DRIVER (-7)        /* the attached units cannot be reached (see the text) */
#define ZEL_ERROR_OUT_OF_MEMORY (-8)
#define ZEL_ERROR_INTERNAL (-9) /* an unexpected failure inside the library */
#define ZEL_ERROR_TIMEOUT (-10) /* the wait ended before what it waited for came */
#define ZEL_ERROR_NO_UNIT (-11) /* the bench has no unit at that device number */

/* Motor states (zel_get_motor_status). */
#define ZEL_MOTOR_STOPPED 0
#define ZEL_MOTOR_RUNNING 1
#define ZEL_MOTOR_END_FORWARD 2
#define ZEL_MOTOR_END_BACKWARD 3
#define ZEL_MOTOR_ERROR 4

/* The message of a ZEL_OK or ZEL_ERROR_* code ("unknown result" for others). */
ZELUSBC_API int zel_result_text(int result, char* buffer, size_t size, size_t* length);

/* The library's version, "major.minor.build" as the Python package and the COM server carry
 * it; a text that lives as long as the library. */
ZELUSBC_API const char* zel_version(void);

/* ---- Benches ---- */

/* A bench from the JSON text `description` (the format zelctl --bench reads), or the default
 * bench when it is null: an Orvane unit at device number 0, a Kestrin at 1, a Polyax at 2, no
 * firmware running, serial numbers "OR-0001", "KS-0001", "PX-0001". With `live` non-zero the
 * bench runs on real time, else on virtual time (pauses cost nothing). When the description
 * does not parse, returns ZEL_ERROR_BENCH and puts the parser's message (naming the key) into
 * `error` as far as it fits, with its full length in *error_length; `error` may be null. */
ZELUSBC_API int zel_bench_create(const char* description, int live, zel_bench** bench, char* error,
                                 size_t error_size, size_t* error_length);
/* The same, from the JSON file at `path`; the message names the file first. */
ZELUSBC_API int zel_bench_load(const char* path, int live, zel_bench** bench, char* error,
                               size_t error_size, size_t* error_length);
ZELUSBC_API int zel_bench_destroy(zel_bench* bench);
/* Pulls the bench's unit at device number `device` out, as a cable pulled: its controls fail
 * with "No Device" until it is plugged in again. zel_bench_plug puts it back as after a power
 * cycle (firmware gone, so a control boots it again when it selects it). Both return
 * ZEL_ERROR_NO_UNIT when no unit sits at `device`; unplugging twice, or plugging in a unit
 * that is in, changes nothing. */
ZELUSBC_API int zel_bench_unplug(zel_bench* bench, int device);
ZELUSBC_API int zel_bench_plug(zel_bench* bench, int device);

/* ---- Controls ---- */

/* A control of `class_name` on `bench`, or on the units attached to the machine when `bench`
 * is null. ZEL_ERROR_NO_DRIVER when those cannot be reached at all (zel_result_text says so;
 * on Linux libusb could not start). */
ZELUSBC_API int zel_control_create(const char* class_name, zel_bench* bench, zel_control** control);
/* Sends nothing to the unit: moving motors keep moving. */
ZELUSBC_API int zel_control_destroy(zel_control* control);
/* The control's class name ("orvane", "kestrin", "polyax"). */
ZELUSBC_API int zel_control_class(zel_control* control, char* buffer, size_t size, size_t* length);

/* ---- The members of all three classes ---- */

/* Moves: a synchronous move (asynchronous 0) returns when the motor rests and *result tells
 * whether the wait ended well; an asynchronous one returns at once with whether it started. */
ZELUSBC_API int zel_move_home(zel_control* control, int32_t motor, int asynchronous, int* result);
ZELUSBC_API int zel_move_motor(zel_control* control, int32_t motor, int32_t steps, int asynchronous,
                               int* result);
ZELUSBC_API int zel_move_to_pos(zel_control* control, int32_t motor, int32_t position,
                                int asynchronous, int* result);
ZELUSBC_API int zel_get_motor_status(zel_control* control, int32_t motor, int32_t* status);
ZELUSBC_API int zel_get_motor_position(zel_control* control, int32_t motor, int32_t* position);
ZELUSBC_API int zel_stop(zel_control* control, int32_t motor, int* result);
ZELUSBC_API int zel_set_motor_freq(zel_control* control, int32_t motor, int32_t freq, int* result);
ZELUSBC_API int zel_get_motor_freq(zel_control* control, int32_t motor, int32_t* freq);
ZELUSBC_API int zel_set_motor_mode(zel_control* control, int32_t motor, int32_t mode, int* result);
ZELUSBC_API int zel_get_motor_mode(zel_control* control, int32_t motor, int32_t* mode);
ZELUSBC_API int zel_is_device_present(zel_control* control, int* result);
/* The unit's status code 0 to 14 (1: "No Device") and its message. */
ZELUSBC_API int zel_get_last_error(zel_control* control, int32_t* code);
ZELUSBC_API int zel_get_last_error_text(zel_control* control, char* buffer, size_t size,
                                        size_t* length);
/* Both in one call, so they always belong together: *code gets the code (when the call returns
 * ZEL_OK) and the buffer its message. */
ZELUSBC_API int zel_get_last_error_and_text(zel_control* control, int32_t* code, char* buffer,
                                            size_t size, size_t* length);
/* Selects the unit with this serial number ("" or null: the first working unit); *result is 0
 * when none has it, and the control is then without a unit until the next zel_set_serial. */
ZELUSBC_API int zel_set_serial(zel_control* control, const char* serial, int* result);
/* Read from the unit on every call. */
ZELUSBC_API int zel_get_serial(zel_control* control, char* buffer, size_t size, size_t* length);
/* The device number of the control's unit (0 to 127), or -1 while it has none; sends nothing. */
ZELUSBC_API int zel_get_device_number(zel_control* control, int32_t* number);
/* "major.minor"; "0.0" when the unit does not answer. */
ZELUSBC_API int zel_get_firmware_version(zel_control* control, char* buffer, size_t size,
                                         size_t* length);

/* ---- Waits and move events (see "Move events" above) ---- */

/* Waits until `motor` rests: ZEL_OK with its status in *status (ZEL_MOTOR_ERROR when the status
 * cannot be read), or ZEL_ERROR_TIMEOUT when it still moves after timeout_ms of pauses (0: one
 * look, no pause). A motor with a pending move is looked at by polling the control's moves, so
 * its event comes (and waits for zel_next_event or the callback); any other motor by reading
 * its status. */
ZELUSBC_API int zel_wait_motor(zel_control* control, int32_t motor, uint32_t timeout_ms,
                               int32_t* status);

#define ZEL_EVENT_MOVE_COMPLETE 1 /* the end of zel_move_motor or zel_move_to_pos */
#define ZEL_EVENT_HOME_COMPLETE 2 /* the end of zel_move_home */

typedef struct zel_motion_event {
  int32_t kind;       /* ZEL_EVENT_MOVE_COMPLETE or ZEL_EVENT_HOME_COMPLETE */
  int32_t motor;      /* the motor that moved */
  int32_t status;     /* ZEL_MOTOR_STOPPED, _END_FORWARD, _END_BACKWARD, or ZEL_MOTOR_ERROR when
                         its status could not be read */
  int32_t position;   /* where it rests; 2147483647 when unreadable */
  int32_t last_error; /* 0, or the status code (as zel_get_last_error) of the read that failed */
  int32_t sequence;   /* 1, 2, ... across the control's events */
} zel_motion_event;

/* The oldest event of the control not yet taken, into *event: ZEL_OK. When none is queued the
 * call polls the control's pending moves every 10 ms, pausing up to timeout_ms in all (0: one
 * poll, no pause; a move another thread starts meanwhile counts too), and returns
 * ZEL_ERROR_TIMEOUT when none came. While a callback is set, the events go to it alone, and
 * this returns ZEL_ERROR_TIMEOUT at once. */
ZELUSBC_API int zel_next_event(zel_control* control, uint32_t timeout_ms, zel_motion_event* event);

/* Receives one event; `event` is valid during the call only. */
typedef void(ZELUSBC_CALL* zel_event_callback)(void* user_data, const zel_motion_event* event);

/* Hands the control's events to `callback(user_data, event)`, one at a time and in order, on a
 * thread the library starts for this control. That thread polls the pending moves every
 * 10 ms and sleeps while none is pending, until a call on the control starts one. It holds no
 * lock while it calls back, so the callback may call any function of the library, on this
 * control too (a synchronous move in it blocks further events until it returns, and then its
 * own event follows). Another callback replaces this one from the next event on. NULL removes
 * the callback and returns once no callback runs; called from inside the callback it returns
 * at once, and the running call is the last. zel_control_destroy removes it too (also from
 * inside the callback). */
ZELUSBC_API int zel_set_event_callback(zel_control* control, zel_event_callback callback,
                                       void* user_data);

/* ---- Orvane only (ZEL_ERROR_NOT_A_MEMBER on the other classes) ---- */

ZELUSBC_API int zel_get_temperature(zel_control* control, double* value);
/* The setting's own success is not reported: read the temperature back or the last error. */
ZELUSBC_API int zel_set_temperature(zel_control* control, double value);
ZELUSBC_API int zel_get_adc(zel_control* control, int32_t channel, double* value);
ZELUSBC_API int zel_get_undervoltage_detection(zel_control* control, int* on);
ZELUSBC_API int zel_set_undervoltage_detection(zel_control* control, int on);

/* ---- Polyax only (ZEL_ERROR_NOT_A_MEMBER on the other classes) ---- */

/* Shutters 1 and 2; *result is 0 for any other number, and nothing is sent. */
ZELUSBC_API int zel_set_shutter_state(zel_control* control, int32_t shutter, int open, int* result);
ZELUSBC_API int zel_get_shutter_state(zel_control* control, int32_t shutter, int* open);

#ifdef __cplusplus
}
#endif

#endif /* ZELUSBC_H */
