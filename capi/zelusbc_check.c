/* The C library as a C program sees it, through its header alone, on virtual benches: every
 * member once on each class (the units boot their firmware as the controls are created), the
 * bad inputs, the waits and move events, and the checks with threads: the callback's thread,
 * two controls driven from two threads, one control driven from two, two controls created at
 * once. Prints one line per failed check and exits 1 when any failed.
 *
 *   zelusbc_check                the checks
 *   zelusbc_check threads        the checks with threads only (run under ThreadSanitizer)
 *   zelusbc_check measure N      the cost of one zel_get_motor_position on the default bench,
 *                                averaged over N calls, in microseconds of wall-clock time */
#ifndef _WIN32
#define _POSIX_C_SOURCE 200809L
#endif
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "zelusbc.h"

static int failures = 0;

#define CHECK(what, cond)                                                  \
  do {                                                                     \
    if (!(cond)) {                                                         \
      ++failures;                                                          \
      printf("FAILED %s:%d: %s: %s\n", __FILE__, __LINE__, (what), #cond); \
    }                                                                      \
  } while (0)

/* ---- Every member once on each class ---- */

/* What one member call gave: its result code and its value written as text. */
typedef struct {
  int result;
  char value[64];
} Outcome;

typedef void (*Call)(zel_control* control, Outcome* out);

static void Int(Outcome* out, int result, long value) {
  out->result = result;
  snprintf(out->value, sizeof out->value, "%ld", value);
}
static void Real(Outcome* out, int result, double value) {
  out->result = result;
  snprintf(out->value, sizeof out->value, "%g", value);
}

#define INT_CALL(name, type, expr)                 \
  static void name(zel_control* c, Outcome* out) { \
    type v = 0;                                    \
    int r = expr;                                  \
    Int(out, r, (long)v);                          \
  }
#define TEXT_CALL(name, fn)                                                      \
  static void name(zel_control* c, Outcome* out) {                               \
    size_t length = 0;                                                           \
    out->result = fn(c, out->value, sizeof out->value, &length);                 \
    if (out->result == ZEL_OK && length != strlen(out->value)) out->result = 99; \
  }
/* A wait or an event; ZEL_ERROR_TIMEOUT shows as the value -10. */
#define EVENT_CALL(name, timeout)                                                           \
  static void name(zel_control* c, Outcome* out) {                                          \
    zel_motion_event e = {0, 0, 0, 0, 0, 0};                                                \
    Int(out, zel_next_event(c, timeout, &e), 0);                                            \
    snprintf(out->value, sizeof out->value, "%d %d %d %d %d %d", (int)e.kind, (int)e.motor, \
             (int)e.status, (int)e.position, (int)e.last_error, (int)e.sequence);           \
    if (out->result == ZEL_ERROR_TIMEOUT) Int(out, ZEL_OK, -10);                            \
  }
#define WAIT_CALL(name, timeout)                                 \
  static void name(zel_control* c, Outcome* out) {               \
    int32_t v = 0;                                               \
    Int(out, zel_wait_motor(c, 1, timeout, &v), v);              \
    if (out->result == ZEL_ERROR_TIMEOUT) Int(out, ZEL_OK, -10); \
  }
#define ACT_CALL(name, expr)                       \
  static void name(zel_control* c, Outcome* out) { \
    Int(out, expr, 0);                             \
  }

INT_CALL(IsDevicePresent, int, zel_is_device_present(c, &v))
INT_CALL(LastError, int32_t, zel_get_last_error(c, &v))
TEXT_CALL(LastErrorText, zel_get_last_error_text)
TEXT_CALL(FirmwareVersion, zel_get_firmware_version)
TEXT_CALL(GetSerial, zel_get_serial)
INT_CALL(SetSerialEmpty, int, zel_set_serial(c, "", &v))
INT_CALL(GetMotorFreq, int32_t, zel_get_motor_freq(c, 1, &v))
INT_CALL(SetMotorFreq, int, zel_set_motor_freq(c, 1, 1000, &v))
INT_CALL(GetMotorMode, int32_t, zel_get_motor_mode(c, 1, &v))
INT_CALL(SetMotorMode, int, zel_set_motor_mode(c, 1, 2, &v))
INT_CALL(MoveMotor, int, zel_move_motor(c, 1, 400, 0, &v))
INT_CALL(GetMotorPosition, int32_t, zel_get_motor_position(c, 1, &v))
INT_CALL(MoveToPos, int, zel_move_to_pos(c, 1, -250, 0, &v))
INT_CALL(PositionAfterMoveToPos, int32_t, zel_get_motor_position(c, 1, &v))
INT_CALL(MoveHomeAsynchronous, int, zel_move_home(c, 1, 1, &v))
INT_CALL(StatusWhileHoming, int32_t, zel_get_motor_status(c, 1, &v))
INT_CALL(Stop, int, zel_stop(c, 1, &v))
INT_CALL(StatusAfterStop, int32_t, zel_get_motor_status(c, 1, &v))
INT_CALL(MotorThirtyThree, int, zel_move_motor(c, 33, 10, 1, &v))
INT_CALL(LastErrorAfterMotorThirtyThree, int32_t, zel_get_last_error(c, &v))
EVENT_CALL(EventNow, 0)
EVENT_CALL(EventWithin100, 100)
INT_CALL(MoveAway, int, zel_move_motor(c, 1, 400, 1, &v))
WAIT_CALL(WaitBriefly, 20)
WAIT_CALL(WaitForRest, 100000)
ACT_CALL(SetTemperature, zel_set_temperature(c, 25.0))
INT_CALL(Undervoltage, int, zel_get_undervoltage_detection(c, &v))
ACT_CALL(SetUndervoltageOff, zel_set_undervoltage_detection(c, 0))
INT_CALL(UndervoltageAfterOff, int, zel_get_undervoltage_detection(c, &v))
INT_CALL(OpenShutter2, int, zel_set_shutter_state(c, 2, 1, &v))
INT_CALL(Shutter2, int, zel_get_shutter_state(c, 2, &v))
INT_CALL(Shutter1, int, zel_get_shutter_state(c, 1, &v))
INT_CALL(OpenShutter3, int, zel_set_shutter_state(c, 3, 1, &v))

static void Temperature(zel_control* c, Outcome* out) {
  double v = 0;
  int r = zel_get_temperature(c, &v);
  Real(out, r, v);
}
static void Adc3(zel_control* c, Outcome* out) {
  double v = 0;
  int r = zel_get_adc(c, 3, &v);
  Real(out, r, v);
}

/* The expected value of a row on the Orvane, Kestrin and Polyax control, in that order; NULL
 * where the class has no such member (the call must say ZEL_ERROR_NOT_A_MEMBER). */
typedef struct {
  const char* name;
  Call call;
  const char* expected[3];
} MemberRow;

static const MemberRow kMembers[] = {
    {"IsDevicePresent", IsDevicePresent, {"1", "1", "1"}},
    {"LastError", LastError, {"0", "0", "0"}},
    {"LastErrorText", LastErrorText, {"No Error", "No Error", "No Error"}},
    {"FirmwareVersion", FirmwareVersion, {"1.0", "2.10", "1.0"}},
    {"GetSerial", GetSerial, {"OR-0001", "KS-0001", "PX-0001"}},
    {"SetSerial \"\"", SetSerialEmpty, {"1", "1", "1"}},
    /* The speed each class gives a unit whose speed reads 0 (750, 500, 1400), as the unit's
     * divider gives it back. */
    {"GetMotorFreq", GetMotorFreq, {"784", "512", "1481"}},
    {"SetMotorFreq", SetMotorFreq, {"1", "1", "1"}},
    {"GetMotorMode", GetMotorMode, {"2", "2", "2"}},
    {"SetMotorMode", SetMotorMode, {"1", "1", "1"}},
    {"MoveMotor", MoveMotor, {"1", "1", "1"}},
    {"GetMotorPosition", GetMotorPosition, {"400", "400", "400"}},
    {"MoveToPos", MoveToPos, {"1", "1", "1"}},
    {"GetMotorPosition", PositionAfterMoveToPos, {"-250", "-250", "-250"}},
    {"MoveHome asynchronous", MoveHomeAsynchronous, {"1", "1", "1"}},
    {"GetMotorStatus", StatusWhileHoming, {"1", "1", "1"}},
    {"Stop", Stop, {"1", "1", "1"}},
    {"GetMotorStatus", StatusAfterStop, {"0", "0", "0"}},
    /* No unit has a motor 33: "No motor present". */
    {"MoveMotor 33", MotorThirtyThree, {"0", "0", "0"}},
    {"LastError", LastErrorAfterMotorThirtyThree, {"12", "12", "12"}},
    /* The events of the three moves above (the home ends where Stop found it: the Polyax's
     * commands pause for the firmware), then a wait; -10 is a timeout. */
    {"zel_next_event 0", EventNow, {"1 1 0 400 0 1", "1 1 0 400 0 1", "1 1 0 400 0 1"}},
    {"zel_next_event 0", EventNow, {"1 1 0 -250 0 2", "1 1 0 -250 0 2", "1 1 0 -250 0 2"}},
    {"zel_next_event 0", EventNow, {"2 1 0 -250 0 3", "2 1 0 -250 0 3", "2 1 0 -270 0 3"}},
    {"MoveMotor asynchronous", MoveAway, {"1", "1", "1"}},
    {"zel_wait_motor 20", WaitBriefly, {"-10", "-10", "-10"}},
    {"zel_wait_motor", WaitForRest, {"0", "0", "0"}},
    {"zel_next_event 0", EventNow, {"1 1 0 150 0 4", "1 1 0 150 0 4", "1 1 0 130 0 4"}},
    {"zel_next_event 100", EventWithin100, {"-10", "-10", "-10"}},
    {"Temperature", Temperature, {"0", NULL, NULL}},
    {"Temperature =", SetTemperature, {"0", NULL, NULL}},
    {"ADC 3", Adc3, {"1500", NULL, NULL}},
    {"UndervoltageDetection", Undervoltage, {"1", NULL, NULL}},
    {"UndervoltageDetection =", SetUndervoltageOff, {"0", NULL, NULL}},
    {"UndervoltageDetection", UndervoltageAfterOff, {"0", NULL, NULL}},
    {"SetShutterState 2", OpenShutter2, {NULL, NULL, "1"}},
    {"GetShutterState 2", Shutter2, {NULL, NULL, "1"}},
    {"GetShutterState 1", Shutter1, {NULL, NULL, "0"}},
    {"SetShutterState 3", OpenShutter3, {NULL, NULL, "0"}},
};

/* The default bench's units, with a firmware version and an analogue reading to tell apart. */
static const char kMemberBench[] =
    "{\"units\": ["
    " {\"device\": 0, \"model\": \"orvane\", \"serial\": \"OR-0001\", \"adc\": {\"3\": 1500}},"
    " {\"device\": 1, \"model\": \"kestrin\", \"serial\": \"KS-0001\", \"version\": [2, 10]},"
    " {\"device\": 2, \"model\": \"polyax\", \"serial\": \"PX-0001\"}]}";

static void CheckEveryMember(void) {
  static const char* const kClasses[3] = {"orvane", "kestrin", "polyax"};
  zel_bench* bench = NULL;
  CHECK("bench", zel_bench_create(kMemberBench, 0, &bench, NULL, 0, NULL) == ZEL_OK);
  for (int k = 0; k < 3; ++k) {
    zel_control* control = NULL;
    CHECK(kClasses[k], zel_control_create(kClasses[k], bench, &control) == ZEL_OK);
    char name[16];
    CHECK(kClasses[k], zel_control_class(control, name, sizeof name, NULL) == ZEL_OK &&
                           strcmp(name, kClasses[k]) == 0);
    for (size_t row = 0; row < sizeof kMembers / sizeof kMembers[0]; ++row) {
      const MemberRow* m = &kMembers[row];
      Outcome out = {-100, ""};
      m->call(control, &out);
      const char* want = m->expected[k];
      const int ok = want == NULL ? out.result == ZEL_ERROR_NOT_A_MEMBER
                                  : out.result == ZEL_OK && strcmp(out.value, want) == 0;
      if (!ok) {
        ++failures;
        printf("FAILED %s %s: result %d value \"%s\", expected %s%s\n", kClasses[k], m->name,
               out.result, out.value, want ? "value " : "ZEL_ERROR_NOT_A_MEMBER", want ? want : "");
      }
    }
    CHECK(kClasses[k], zel_control_destroy(control) == ZEL_OK);
  }
  CHECK("bench", zel_bench_destroy(bench) == ZEL_OK);
  CHECK("version", strcmp(zel_version(), ZELUSBC_CHECK_VERSION) == 0);
}

/* ---- Bad input ---- */

typedef struct {
  const char* what;
  int result;
  int expected;
} BadRow;

static void CheckBadInput(void) {
  zel_bench* bench = NULL;
  zel_bench* gone = NULL;
  zel_control* kestrin = NULL;
  zel_control* destroyed = NULL;
  zel_control* created = NULL;
  CHECK("bench", zel_bench_create(NULL, 0, &bench, NULL, 0, NULL) == ZEL_OK);
  CHECK("bench", zel_bench_create(NULL, 0, &gone, NULL, 0, NULL) == ZEL_OK);
  CHECK("kestrin", zel_control_create("kestrin", bench, &kestrin) == ZEL_OK);
  CHECK("kestrin", zel_control_create("kestrin", bench, &destroyed) == ZEL_OK);
  CHECK("destroy", zel_control_destroy(destroyed) == ZEL_OK);
  CHECK("destroy", zel_bench_destroy(gone) == ZEL_OK);

  int32_t value = 0;
  int flag = 0;
  double real = 0;
  char small[4] = "xyz";
  size_t length = 0;
  const BadRow rows[] = {
      {"null handle", zel_get_motor_position(NULL, 1, &value), ZEL_ERROR_HANDLE},
      {"destroyed handle", zel_get_motor_position(destroyed, 1, &value), ZEL_ERROR_HANDLE},
      {"made-up handle", zel_stop((zel_control*)(size_t)0x5a45, 1, &flag), ZEL_ERROR_HANDLE},
      {"bench as control", zel_is_device_present((zel_control*)bench, &flag), ZEL_ERROR_HANDLE},
      {"destroyed twice", zel_control_destroy(destroyed), ZEL_ERROR_HANDLE},
      {"bench destroyed twice", zel_bench_destroy(gone), ZEL_ERROR_HANDLE},
      {"control on a destroyed bench", zel_control_create("kestrin", gone, &created),
       ZEL_ERROR_HANDLE},
      {"null result", zel_get_motor_position(kestrin, 1, NULL), ZEL_ERROR_NULL_POINTER},
      {"null result of a move", zel_move_motor(kestrin, 1, 10, 0, NULL), ZEL_ERROR_NULL_POINTER},
      {"null text buffer", zel_get_serial(kestrin, NULL, 8, &length), ZEL_ERROR_NULL_POINTER},
      {"null class name", zel_control_create(NULL, bench, &created), ZEL_ERROR_NULL_POINTER},
      {"null control out", zel_control_create("kestrin", bench, NULL), ZEL_ERROR_NULL_POINTER},
      {"null bench out", zel_bench_create(NULL, 0, NULL, NULL, 0, NULL), ZEL_ERROR_NULL_POINTER},
      {"null bench path", zel_bench_load(NULL, 0, &gone, NULL, 0, NULL), ZEL_ERROR_NULL_POINTER},
      {"unknown class", zel_control_create("Kestrin", bench, &created), ZEL_ERROR_UNKNOWN_CLASS},
      {"empty class", zel_control_create("", bench, &created), ZEL_ERROR_UNKNOWN_CLASS},
      {"Orvane member on a Kestrin", zel_get_temperature(kestrin, &real), ZEL_ERROR_NOT_A_MEMBER},
      {"Polyax member on a Kestrin", zel_get_shutter_state(kestrin, 1, &flag),
       ZEL_ERROR_NOT_A_MEMBER},
      {"small buffer", zel_get_serial(kestrin, small, sizeof small, &length),
       ZEL_ERROR_BUFFER_TOO_SMALL},
  };
  for (size_t k = 0; k < sizeof rows / sizeof rows[0]; ++k) {
    if (rows[k].result != rows[k].expected) {
      ++failures;
      printf("FAILED bad input, %s: result %d, expected %d\n", rows[k].what, rows[k].result,
             rows[k].expected);
    }
  }
  /* The small buffer was emptied and told the length it needs; a length query needs none. */
  CHECK("small buffer", small[0] == '\0' && length == 7);
  length = 0;
  CHECK("length query", zel_get_serial(kestrin, NULL, 0, &length) == ZEL_OK && length == 7);
  char exact[8];
  CHECK("exact buffer", zel_get_serial(kestrin, exact, sizeof exact, NULL) == ZEL_OK &&
                            strcmp(exact, "KS-0001") == 0);
  CHECK("nothing created", created == NULL);
  /* The code and its message in one call; a text that does not fit leaves the code alone. */
  int32_t code = -1;
  char text[128];
  CHECK("code and text",
        zel_get_last_error_and_text(kestrin, &code, small, 4, NULL) == ZEL_ERROR_BUFFER_TOO_SMALL &&
            code == -1);
  CHECK("code and text", zel_get_last_error_and_text(kestrin, &code, text, 16, NULL) == ZEL_OK &&
                             code == 0 && strcmp(text, "No Error") == 0);

  /* Result texts: each code has its own, an unknown one says so. */
  CHECK("result text", zel_result_text(ZEL_ERROR_HANDLE, text, sizeof text, NULL) == ZEL_OK &&
                           strstr(text, "handle") != NULL);
  CHECK("result text", zel_result_text(12345, text, sizeof text, NULL) == ZEL_OK &&
                           strcmp(text, "unknown result") == 0);

  /* A control outlives its bench's handle. */
  CHECK("bench destroyed first", zel_bench_destroy(bench) == ZEL_OK);
  CHECK("bench destroyed first", zel_move_motor(kestrin, 2, 30, 0, &flag) == ZEL_OK && flag == 1);
  CHECK("bench destroyed first",
        zel_get_motor_position(kestrin, 2, &value) == ZEL_OK && value == 30);
  CHECK("destroy", zel_control_destroy(kestrin) == ZEL_OK);
}

/* Descriptions that do not parse: the parser's message comes back, cut to the buffer. */
typedef struct {
  const char* description;
  const char* message;
} BenchRow;

static void CheckBadBenches(void) {
  static const BenchRow rows[] = {
      {"{\"units\": [{\"device\": 200, \"model\": \"kestrin\"}]}",
       "units[0].device: expected an integer from 0 to 127"},
      {"{\"units\": [{\"device\": 1, \"model\": \"kestrin\", \"colour\": 1}]}",
       "units[0].colour: unknown key"},
      {"{\"units\": [", NULL},
      {"", NULL},
  };
  for (size_t k = 0; k < sizeof rows / sizeof rows[0]; ++k) {
    zel_bench* bench = NULL;
    char message[200] = "untouched";
    size_t length = 0;
    const int result =
        zel_bench_create(rows[k].description, 0, &bench, message, sizeof message, &length);
    const int ok = result == ZEL_ERROR_BENCH && bench == NULL && length == strlen(message) &&
                   length > 0 && (rows[k].message == NULL || strcmp(message, rows[k].message) == 0);
    if (!ok) {
      ++failures;
      printf("FAILED bench \"%s\": result %d, message \"%s\"\n", rows[k].description, result,
             message);
    }
  }
  char cut[8];
  size_t length = 0;
  zel_bench* bench = NULL;
  CHECK("cut message", zel_bench_create(rows[0].description, 0, &bench, cut, sizeof cut, &length) ==
                               ZEL_ERROR_BENCH &&
                           strcmp(cut, "units[0") == 0 && length == strlen(rows[0].message));
  CHECK("missing file", zel_bench_load("no/such/bench.json", 0, &bench, cut, sizeof cut, &length) ==
                                ZEL_ERROR_BENCH &&
                            length > strlen("no/such/bench.json"));
}

/* ---- A firmware boot, and selection by serial number ---- */

static void CheckBoot(void) {
  static const char kTwo[] =
      "{\"units\": [{\"device\": 4, \"model\": \"kestrin\", \"serial\": \"KS-0004\"},"
      " {\"device\": 9, \"model\": \"kestrin\", \"serial\": \"KS-0009\", \"version\": [3, 1]}]}";
  zel_bench* bench = NULL;
  zel_control* control = NULL;
  int flag = -1;
  int32_t code = -1;
  char text[32];
  CHECK("boot", zel_bench_create(kTwo, 0, &bench, NULL, 0, NULL) == ZEL_OK);
  CHECK("boot", zel_control_create("kestrin", bench, &control) == ZEL_OK);
  CHECK("boot", zel_is_device_present(control, &flag) == ZEL_OK && flag == 1);
  CHECK("boot",
        zel_get_serial(control, text, sizeof text, NULL) == ZEL_OK && strcmp(text, "KS-0004") == 0);
  CHECK("select", zel_set_serial(control, "KS-0009", &flag) == ZEL_OK && flag == 1);
  CHECK("device number", zel_get_device_number(control, &code) == ZEL_OK && code == 9);
  CHECK("select", zel_get_firmware_version(control, text, sizeof text, NULL) == ZEL_OK &&
                      strcmp(text, "3.1") == 0);
  CHECK("unknown serial", zel_set_serial(control, "KS-0005", &flag) == ZEL_OK && flag == 0);
  CHECK("unknown serial", zel_get_last_error(control, &code) == ZEL_OK && code == 1);
  CHECK("unknown serial", zel_get_last_error_text(control, text, sizeof text, NULL) == ZEL_OK &&
                              strcmp(text, "No Device") == 0);
  CHECK("unknown serial", zel_is_device_present(control, &flag) == ZEL_OK && flag == 0);
  CHECK("device number", zel_get_device_number(control, &code) == ZEL_OK && code == -1);
  /* A unit pulled out and plugged in again: gone, then booted again by the next selection. */
  CHECK("unplug", zel_set_serial(control, "KS-0009", &flag) == ZEL_OK && flag == 1);
  CHECK("unplug", zel_bench_unplug(bench, 9) == ZEL_OK && zel_bench_unplug(bench, 9) == ZEL_OK);
  CHECK("unplug", zel_is_device_present(control, &flag) == ZEL_OK && flag == 0);
  CHECK("plug", zel_bench_plug(bench, 9) == ZEL_OK);
  CHECK("plug", zel_set_serial(control, "KS-0009", &flag) == ZEL_OK && flag == 1);
  CHECK("no unit", zel_bench_unplug(bench, 5) == ZEL_ERROR_NO_UNIT &&
                       zel_bench_plug(bench, 200) == ZEL_ERROR_NO_UNIT);
  CHECK("destroy", zel_control_destroy(control) == ZEL_OK);
  CHECK("destroy", zel_bench_destroy(bench) == ZEL_OK);
  /* A description is UTF-8; the unit holds its serial in the code page (0xC4 for A umlaut). */
  CHECK("code page", zel_bench_create("{\"units\": [{\"device\": 1, \"model\": \"kestrin\", "
                                      "\"serial\": \"KS-\xC3\x84\"}]}",
                                      0, &bench, NULL, 0, NULL) == ZEL_OK);
  CHECK("code page", zel_control_create("kestrin", bench, &control) == ZEL_OK);
  CHECK("code page",
        zel_get_serial(control, text, sizeof text, NULL) == ZEL_OK && strcmp(text, "KS-\xC4") == 0);
  CHECK("destroy", zel_control_destroy(control) == ZEL_OK);
  CHECK("destroy", zel_bench_destroy(bench) == ZEL_OK);
}

/* ---- Two controls on two threads ---- */

enum { kRounds = 40, kStep = 5 };

typedef struct {
  zel_control* control;
  int32_t motor;
  int rounds;
  int moved; /* rounds whose move reported 1 */
} Worker;

static void* Drive(void* argument) {
  Worker* worker = (Worker*)argument;
  for (int round = 0; round < worker->rounds; ++round) {
    int result = 0;
    if (zel_move_motor(worker->control, worker->motor, kStep, 0, &result) == ZEL_OK && result)
      ++worker->moved;
  }
  return NULL;
}

/* Motors 1 and 2 moved from two threads through two controls on two units, or through one
 * control, whose calls then take turns: every move runs, and each control keeps its unit. */
static void CheckTwoThreads(int oneControl) {
  static const char kBench[] =
      "{\"units\": [{\"device\": 0, \"model\": \"kestrin\", \"firmware\": \"running\","
      " \"serial\": \"A\"}, {\"device\": 1, \"model\": \"kestrin\", \"firmware\": \"running\","
      " \"serial\": \"B\"}]}";
  /* On one control the threads must overlap long enough to meet. */
  const int rounds = oneControl ? 25 * kRounds : kRounds;
  zel_bench* bench = NULL;
  Worker workers[2] = {{NULL, 1, rounds, 0}, {NULL, 2, rounds, 0}};
  const char* serials[2] = {"A", oneControl ? "A" : "B"};
  pthread_t threads[2];
  CHECK("threads", zel_bench_create(kBench, 0, &bench, NULL, 0, NULL) == ZEL_OK);
  for (int k = 0; k < 2; ++k) {
    int selected = 0;
    if (oneControl && k == 1) {
      workers[1].control = workers[0].control;
      continue;
    }
    CHECK("threads", zel_control_create("kestrin", bench, &workers[k].control) == ZEL_OK);
    CHECK("threads",
          zel_set_serial(workers[k].control, serials[k], &selected) == ZEL_OK && selected == 1);
  }
  for (int k = 0; k < 2; ++k)
    CHECK("threads", pthread_create(&threads[k], NULL, Drive, &workers[k]) == 0);
  for (int k = 0; k < 2; ++k) CHECK("threads", pthread_join(threads[k], NULL) == 0);
  for (int k = 0; k < 2; ++k) {
    int32_t position = 0;
    char serial[8];
    CHECK("threads", workers[k].moved == rounds);
    CHECK("threads",
          zel_get_motor_position(workers[k].control, workers[k].motor, &position) == ZEL_OK &&
              position == rounds * kStep);
    /* Each control stayed on its own unit. */
    CHECK("threads", zel_get_serial(workers[k].control, serial, sizeof serial, NULL) == ZEL_OK &&
                         strcmp(serial, serials[k]) == 0);
    if (!oneControl || k == 1) CHECK("threads", zel_control_destroy(workers[k].control) == ZEL_OK);
  }
  CHECK("threads", zel_bench_destroy(bench) == ZEL_OK);
}

typedef struct {
  zel_bench* bench;
  zel_control* control;
} Creation;

static void* Create(void* argument) {
  Creation* creation = (Creation*)argument;
  zel_control_create("kestrin", creation->bench, &creation->control);
  return NULL;
}

/* Two controls created at once on a bench with one unit: both find it, round after round. */
static void CheckTwoCreations(void) {
  static const char kBench[] =
      "{\"units\": [{\"device\": 3, \"model\": \"kestrin\", \"firmware\": \"running\"}]}";
  zel_bench* bench = NULL;
  int bound = 0;
  CHECK("creations", zel_bench_create(kBench, 0, &bench, NULL, 0, NULL) == ZEL_OK);
  for (int round = 0; round < kRounds; ++round) {
    Creation creations[2] = {{bench, NULL}, {bench, NULL}};
    pthread_t threads[2];
    for (int k = 0; k < 2; ++k)
      CHECK("creations", pthread_create(&threads[k], NULL, Create, &creations[k]) == 0);
    for (int k = 0; k < 2; ++k) CHECK("creations", pthread_join(threads[k], NULL) == 0);
    for (int k = 0; k < 2; ++k) {
      int present = 0;
      if (zel_is_device_present(creations[k].control, &present) == ZEL_OK) bound += present;
      zel_control_destroy(creations[k].control);
    }
  }
  CHECK("creations", bound == 2 * kRounds);
  CHECK("creations", zel_bench_destroy(bench) == ZEL_OK);
}

/* ---- The callback's thread ---- */

typedef struct {
  zel_control* control;
  pthread_t main;
  pthread_mutex_t mutex;
  pthread_cond_t arrived;
  int count;
  char seen[64]; /* "MOTOR@POSITION#SEQUENCE " an event; "!" where a check in the call failed */
} Receiver;

/* Calls back into the library on its own control, and removes itself at its third event. */
static void ZELUSBC_CALL Receive(void* user_data, const zel_motion_event* event) {
  Receiver* r = (Receiver*)user_data;
  int32_t position = 0;
  const int sound = !pthread_equal(pthread_self(), r->main) &&
                    zel_get_motor_position(r->control, event->motor, &position) == ZEL_OK &&
                    position == event->position;
  if (r->count == 2) zel_set_event_callback(r->control, NULL, NULL);
  pthread_mutex_lock(&r->mutex);
  const size_t used = strlen(r->seen);
  snprintf(r->seen + used, sizeof r->seen - used, "%d@%d#%d%s ", (int)event->motor,
           (int)event->position, (int)event->sequence, sound ? "" : "!");
  ++r->count;
  pthread_cond_signal(&r->arrived);
  pthread_mutex_unlock(&r->mutex);
}

static void CheckCallback(void) {
  zel_bench* bench = NULL;
  Receiver r = {NULL, pthread_self(), PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, ""};
  zel_motion_event after = {0, 0, 0, 0, 0, 0};
  int done = 0;
  CHECK("callback", zel_bench_create(NULL, 0, &bench, NULL, 0, NULL) == ZEL_OK);
  CHECK("callback", zel_control_create("polyax", bench, &r.control) == ZEL_OK);
  CHECK("callback", zel_move_motor(r.control, 1, 300, 1, &done) == ZEL_OK && done == 1);
  CHECK("callback", zel_move_motor(r.control, 2, 100, 1, &done) == ZEL_OK && done == 1);
  CHECK("callback", zel_move_motor(r.control, 3, 20, 0, &done) == ZEL_OK && done == 1);
  /* From here on only the callback's thread moves the bench's time. */
  CHECK("callback", zel_set_event_callback(r.control, Receive, &r) == ZEL_OK);
  pthread_mutex_lock(&r.mutex);
  while (r.count < 3) pthread_cond_wait(&r.arrived, &r.mutex);
  pthread_mutex_unlock(&r.mutex);
  /* The synchronous move's event first, then the other two as they end. */
  CHECK("callback", strcmp(r.seen, "3@20#1 2@100#2 1@300#3 ") == 0);
  /* Removed from inside: the next event is left to zel_next_event. */
  CHECK("callback", zel_move_motor(r.control, 4, 10, 0, &done) == ZEL_OK && done == 1);
  CHECK("callback", zel_next_event(r.control, 0, &after) == ZEL_OK && after.sequence == 4);
  CHECK("callback", r.count == 3);
  CHECK("callback", zel_control_destroy(r.control) == ZEL_OK);
  CHECK("callback", zel_bench_destroy(bench) == ZEL_OK);
}

/* ---- The cost of a call ---- */

static int Measure(long calls) {
#ifdef _WIN32
  (void)calls;
  printf("not measured on Windows\n");
  return 2;
#else
  zel_bench* bench = NULL;
  zel_control* kestrin = NULL;
  int32_t position = 0;
  struct timespec start, end;
  if (calls <= 0 || zel_bench_create(NULL, 0, &bench, NULL, 0, NULL) != ZEL_OK ||
      zel_control_create("kestrin", bench, &kestrin) != ZEL_OK)
    return 2;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (long k = 0; k < calls; ++k) zel_get_motor_position(kestrin, 1, &position);
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double micros =
      (double)(end.tv_sec - start.tv_sec) * 1e6 + (double)(end.tv_nsec - start.tv_nsec) / 1e3;
  printf("%.3f\n", micros / (double)calls);
  zel_control_destroy(kestrin);
  zel_bench_destroy(bench);
  return position == 0 ? 0 : 1;
#endif
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "measure") == 0) return Measure(atol(argv[2]));
  const int threadsOnly = argc == 2 && strcmp(argv[1], "threads") == 0;
  if (!threadsOnly) {
    CheckEveryMember();
    CheckBadInput();
    CheckBadBenches();
    CheckBoot();
  }
  CheckCallback();
  CheckTwoThreads(0);
  CheckTwoThreads(1);
  CheckTwoCreations();
  if (failures != 0) {
    printf("%d checks FAILED\n", failures);
    return 1;
  }
  printf("zelusbc checks PASSED\n");
  return 0;
}
