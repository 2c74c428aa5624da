// The three controls through JScript, against script_bench.json (see controls.vbs). Ends on
// PASSED when every check held.
var failures = 0;

function check(ok, what) {
  if (!ok) {
    WScript.Echo("FAILED: " + what);
    failures++;
  }
}

// Automation booleans arrive as JScript booleans; they hold 1 or 0 underneath.
function checkBool(value, expected, what) {
  check(typeof value === "boolean", what + " is a boolean (" + typeof value + ")");
  check(value === expected, what + " = " + value + ", expected " + expected);
}

var kestrin = new ActiveXObject("ZELUSB.KestrinControl.1");
checkBool(kestrin.IsDevicePresent(), true, "Kestrin present");
check(kestrin.GetSerial() === "KS-0001", "Kestrin serial " + kestrin.GetSerial());
checkBool(kestrin.MoveMotor(1, 60), true, "synchronous MoveMotor");
check(kestrin.GetMotorPosition(1) === 60, "position " + kestrin.GetMotorPosition(1));
checkBool(kestrin.MoveHome(2, false), true, "MoveHome with bAsynchron given");
check(kestrin.GetMotorStatus(2) === 3, "motor 2 at its backward end: " + kestrin.GetMotorStatus(2));
checkBool(kestrin.SetSerial("KS-0002"), true, "SetSerial");
check(kestrin.GetSerial() === "KS-0002", "selected serial " + kestrin.GetSerial());
checkBool(kestrin.SetSerial("KS-9999"), false, "SetSerial to nobody");
check(kestrin.LastError === 1, "LastError " + kestrin.LastError);
check(kestrin.LastErrorText === "No Device", "LastErrorText " + kestrin.LastErrorText);
kestrin = null;

var orvane = new ActiveXObject("ZELUSB.OrvaneControl");
check(orvane.ADC(0) === 1234, "ADC(0) " + orvane.ADC(0));
var before = orvane.Temperature;
orvane.Temperature = before + 1;
check(orvane.Temperature > before, "temperature raised from " + before);
orvane.UndervoltageDetection = true;
checkBool(orvane.UndervoltageDetection, true, "detection on");
check(orvane.FirmwareVersion === "1.0", "Orvane firmware " + orvane.FirmwareVersion);
orvane = null;

var polyax = new ActiveXObject("ZELUSB.PolyaxControl");
checkBool(polyax.SetShutterState(2, true), true, "open shutter 2");
checkBool(polyax.GetShutterState(2), true, "shutter 2 open");
checkBool(polyax.SetShutterState(5, true), false, "no shutter 5");
checkBool(polyax.SetMotorFreq(0, 900), true, "speed of all motors");
check(polyax.LastError === 0, "Polyax LastError " + polyax.LastError);

if (failures === 0) {
  WScript.Echo("PASSED");
} else {
  WScript.Echo(failures + " checks failed");
  WScript.Quit(1);
}
