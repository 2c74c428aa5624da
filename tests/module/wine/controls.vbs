' The three controls through VBScript, against script_bench.json: a Kestrin unit without
' firmware at device 0 (booted from the image beside the library), an Orvane at 1, a Polyax at 2
' and a second Kestrin, with firmware, at 3. Ends on PASSED when every check held.
Option Explicit

Dim failures
failures = 0

Sub Check(ok, what)
  If Not ok Then
    WScript.Echo "FAILED: " & what
    failures = failures + 1
  End If
End Sub

' Results arrive as automation booleans holding 1 or 0, never -1.
Sub CheckBool(value, expected, what)
  Check TypeName(value) = "Boolean", what & " is a Boolean (" & TypeName(value) & ")"
  Check CInt(value) = expected, what & " = " & CInt(value) & ", expected " & expected
End Sub

' Polls without pausing (the script host here has no working WScript.Sleep), for at most
' five seconds.
Function WaitStopped(control, motor)
  Dim started
  started = Timer
  Do While control.GetMotorStatus(motor) = 1 And Timer - started < 5
  Loop
  WaitStopped = control.GetMotorStatus(motor)
End Function

' Kestrin, by its version-independent ProgID: the first unit, booted on creation.
Dim kestrin
Set kestrin = CreateObject("ZELUSB.KestrinControl")
CheckBool kestrin.IsDevicePresent(), 1, "Kestrin present"
Check kestrin.LastError = 0, "Kestrin LastError " & kestrin.LastError
Check kestrin.LastErrorText = "No Error", "Kestrin LastErrorText " & kestrin.LastErrorText
Check kestrin.GetSerial() = "KS-0001", "Kestrin serial " & kestrin.GetSerial()
Check kestrin.FirmwareVersion = "1.0", "Kestrin firmware " & kestrin.FirmwareVersion
CheckBool kestrin.MoveMotor(1, 120), 1, "synchronous MoveMotor"
Check kestrin.GetMotorPosition(1) = 120, "position after the move " & kestrin.GetMotorPosition(1)
CheckBool kestrin.MoveToPos(2, -30, True), 1, "asynchronous MoveToPos"
Check WaitStopped(kestrin, 2) = 0, "motor 2 stopped"
Check kestrin.GetMotorPosition(2) = -30, "motor 2 position " & kestrin.GetMotorPosition(2)
CheckBool kestrin.SetMotorFreq(1, 800), 1, "SetMotorFreq"
Check Abs(kestrin.GetMotorFreq(1) - 800) < 40, "speed " & kestrin.GetMotorFreq(1)
CheckBool kestrin.SetMotorMode(1, 1), 1, "SetMotorMode"
Check kestrin.GetMotorMode(1) = 1, "motor mode " & kestrin.GetMotorMode(1)
CheckBool kestrin.Stop(1), 1, "Stop"
Check kestrin.MoveMotor(1, 10) <> True, "a true result is not VBScript's True (-1)"

' Selection by serial number: the second unit, then nobody, then any again.
CheckBool kestrin.SetSerial("KS-0002"), 1, "SetSerial KS-0002"
Check kestrin.GetSerial() = "KS-0002", "selected serial " & kestrin.GetSerial()
Check kestrin.GetMotorPosition(1) = 100, "second unit's position " & kestrin.GetMotorPosition(1)
CheckBool kestrin.SetSerial("ks-0002"), 0, "serial numbers compare with case"
CheckBool kestrin.IsDevicePresent(), 0, "no unit after a failed selection"
Check kestrin.LastError = 1, "LastError without a unit " & kestrin.LastError
Check kestrin.LastErrorText = "No Device", "LastErrorText " & kestrin.LastErrorText
CheckBool kestrin.MoveHome(1), 0, "MoveHome without a unit"
Check kestrin.FirmwareVersion = "0.0", "FirmwareVersion without a unit"
Check kestrin.GetSerial() = "", "GetSerial without a unit"
CheckBool kestrin.SetSerial(""), 1, "SetSerial with the empty filter"
Check kestrin.GetSerial() = "KS-0001", "back on the first unit"
Set kestrin = Nothing

' Orvane, by its versioned ProgID.
Dim orvane, before, after
Set orvane = CreateObject("ZELUSB.OrvaneControl.1")
CheckBool orvane.IsDevicePresent(), 1, "Orvane present"
Check orvane.ADC(0) = 1234, "ADC(0) " & orvane.ADC(0)
before = orvane.Temperature
Check before > -1000 And before < 1000, "temperature " & before
orvane.Temperature = before + 1
after = orvane.Temperature
Check after > before, "temperature after raising it: " & after & " from " & before
CheckBool orvane.UndervoltageDetection, 0, "detection off while line 14 is on"
orvane.UndervoltageDetection = True
CheckBool orvane.UndervoltageDetection, 1, "detection switched on"
orvane.UndervoltageDetection = 0
CheckBool orvane.UndervoltageDetection, 0, "detection switched off"
Check orvane.GetMotorStatus(1) = 0, "Orvane motor status"
Set orvane = Nothing

' Polyax, both ProgID forms.
Dim polyax, second
Set polyax = CreateObject("ZELUSB.PolyaxControl")
Set second = CreateObject("ZELUSB.PolyaxControl.1")
Check polyax.FirmwareVersion = "1.3", "Polyax firmware " & polyax.FirmwareVersion
CheckBool polyax.SetShutterState(1, True), 1, "open shutter 1"
CheckBool second.GetShutterState(1), 1, "shutter 1 open, seen by the second object"
CheckBool polyax.SetShutterState(1, False), 1, "close shutter 1"
CheckBool polyax.GetShutterState(1), 0, "shutter 1 closed"
CheckBool polyax.SetShutterState(3, True), 0, "there is no shutter 3"
CheckBool polyax.GetShutterState(0), 0, "there is no shutter 0"
CheckBool polyax.MoveMotor(7, -15), 1, "Polyax motor 7"
Check second.GetMotorPosition(7) = -15, "motor 7 position " & second.GetMotorPosition(7)
Check polyax.GetSerial() = "PX-0001", "Polyax serial"

If failures = 0 Then
  WScript.Echo "PASSED"
Else
  WScript.Echo failures & " checks failed"
  WScript.Quit 1
End If
