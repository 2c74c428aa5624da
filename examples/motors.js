// ZELUSB.dll from JScript: move a Kestrin motor back and forth and watch it.
// Run with  cscript //nologo motors.js  once the library is registered.
var kestrin = new ActiveXObject("ZELUSB.KestrinControl");

// Every call succeeds; whether the unit did what was asked shows in the result and in
// LastError / LastErrorText.
if (!kestrin.IsDevicePresent()) {
  WScript.Echo("No Kestrin unit: " + kestrin.LastErrorText);
  WScript.Quit(1);
}
WScript.Echo("Kestrin " + kestrin.GetSerial() + ", firmware " + kestrin.FirmwareVersion);

// bAsynchron may be left out: the move then waits until the motor rests.
for (var i = 0; i < 3; i++) {
  var ok = kestrin.MoveMotor(2, 100);
  WScript.Echo("MoveMotor(2, 100): " + ok + ", position " + kestrin.GetMotorPosition(2));
}

// An asynchronous move returns at once; poll GetMotorStatus (1 = running).
kestrin.MoveToPos(2, 0, true);
while (kestrin.GetMotorStatus(2) === 1) {
}
WScript.Echo("Back at " + kestrin.GetMotorPosition(2));
WScript.Echo("Last error " + kestrin.LastError + ": " + kestrin.LastErrorText);
