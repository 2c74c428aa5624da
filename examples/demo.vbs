' A narrated session with ZELUSB.dll on the default bench: an Orvane unit at device 0, a
' Kestrin at 1 and a Polyax at 2, none of them running firmware yet. Run it with
'   cscript //nologo demo.vbs
' after registering the library (regsvr32 ZELUSB.dll); examples/run_demo.sh does all of it.
Option Explicit

Sub Say(text)
  WScript.Echo text
End Sub

Function YesNo(value)
  If CInt(value) = 1 Then YesNo = "yes" Else YesNo = "no"
End Function

Function StatusName(status)
  Select Case status
    Case 0 StatusName = "stopped"
    Case 1 StatusName = "running"
    Case 2 StatusName = "at its forward end"
    Case 3 StatusName = "at its backward end"
    Case Else StatusName = "in error"
  End Select
End Function

Function Seconds(since)
  Seconds = Round(Timer - since, 1) & " s"
End Function

Dim kestrin, orvane, polyax, result, started, t

Say "== Kestrin: two motors"
Say "Creating ZELUSB.KestrinControl. The library looks for a Kestrin unit, finds one whose"
Say "firmware is not running, downloads CypressFirmwareKestrin.ihx from its own directory and"
Say "starts it. That takes about a second: every unit's heartbeat is watched for 500 ms."
started = Timer
Set kestrin = CreateObject("ZELUSB.KestrinControl")
Say "  created in " & Seconds(started) & "; unit present: " & _
    YesNo(kestrin.IsDevicePresent())
Say "  serial number " & kestrin.GetSerial() & ", firmware " & kestrin.FirmwareVersion & _
    ", speed " & kestrin.GetMotorFreq(1) & " steps/s (its default, since the unit read 0)"

Say "MoveMotor 1, 400 (synchronous: the call returns when the motor rests)"
result = kestrin.MoveMotor(1, 400)
Say "  result " & CInt(result) & ", motor 1 now at " & kestrin.GetMotorPosition(1)

Say "MoveToPos 1, -200, True (asynchronous: the call returns at once)"
result = kestrin.MoveToPos(1, -200, True)
Say "  result " & CInt(result) & ", motor 1 is " & StatusName(kestrin.GetMotorStatus(1)) & _
    " at " & kestrin.GetMotorPosition(1)
t = Timer
Do While kestrin.GetMotorStatus(1) = 1 And Timer - t < 10
Loop
Say "  after " & Seconds(t) & " it is " & _
    StatusName(kestrin.GetMotorStatus(1)) & " at " & kestrin.GetMotorPosition(1)

Say "Results are 1 for success, not VBScript's True (-1): compare with 1, or use CBool."
Say "  MoveMotor(2, 50) = True? " & (kestrin.MoveMotor(2, 50) = True) & _
    "; CBool(...) = " & CBool(kestrin.MoveMotor(2, -50))

Say ""
Say "== Selecting a unit by serial number"
result = kestrin.SetSerial("KS-9999")
Say "SetSerial ""KS-9999"" gives " & CInt(result) & ": no such unit, so the control now has none."
Say "  LastError " & kestrin.LastError & ", """ & kestrin.LastErrorText & """; " & _
    "MoveMotor gives " & CInt(kestrin.MoveMotor(1, 10)) & " and every call still succeeds."
result = kestrin.SetSerial("KS-0001")
Say "SetSerial ""KS-0001"" gives " & CInt(result) & "; the unit is back, motor 1 at " & _
    kestrin.GetMotorPosition(1)
Set kestrin = Nothing
Say "Releasing the control sends nothing to the unit: its firmware keeps running."

Say ""
Say "== Orvane: motors, temperature, analogue inputs, undervoltage detection"
Set orvane = CreateObject("ZELUSB.OrvaneControl.1")
Say "Created by its versioned ProgID; serial " & orvane.GetSerial()
t = orvane.Temperature
Say "  Temperature " & t
orvane.Temperature = t + 2
Say "  Temperature := " & (t + 2) & " steps the actuator until the sensor reads it: now " & _
    orvane.Temperature
Say "  ADC(0) " & orvane.ADC(0) & ": the failure value, as this bench leaves channel 0 unconnected"
orvane.UndervoltageDetection = True
Say "  UndervoltageDetection switched on: reads " & CInt(orvane.UndervoltageDetection)
orvane.UndervoltageDetection = False
Say "  and off again: reads " & CInt(orvane.UndervoltageDetection)
Set orvane = Nothing

Say ""
Say "== Polyax: up to 32 motors and two shutters"
Set polyax = CreateObject("ZELUSB.PolyaxControl")
Say "Serial " & polyax.GetSerial() & ", firmware " & polyax.FirmwareVersion
Say "  SetMotorFreq 0, 2000 (0 addresses every motor): " & CInt(polyax.SetMotorFreq(0, 2000))
Say "  MoveMotor 12, 300: " & CInt(polyax.MoveMotor(12, 300)) & ", motor 12 at " & _
    polyax.GetMotorPosition(12) & ", motor 11 still at " & polyax.GetMotorPosition(11)
Say "  SetShutterState 1, True: " & CInt(polyax.SetShutterState(1, True)) & _
    "; shutter 1 open: " & YesNo(polyax.GetShutterState(1)) & _
    ", shutter 2 open: " & YesNo(polyax.GetShutterState(2))
Say "  SetShutterState 3, True: " & CInt(polyax.SetShutterState(3, True)) & _
    " (there are shutters 1 and 2 only)"
Set polyax = Nothing

Say ""
Say "Demo finished."
