"""A narrated session of the zelusb package on the default virtual bench (scripts/demo runs it
in a virtual environment where the wheel is installed)."""

import zelusb


def say(text: str) -> None:
    print(text)


with zelusb.Bench() as bench:
    say("zelusb.Bench(): the default bench, an Orvane unit at device 0, a Kestrin at 1 and a")
    say("Polyax at 2, none with firmware running, on virtual time.")

    with zelusb.KestrinControl(bench) as kestrin:
        say("zelusb.KestrinControl(bench) searched the Kestrin units and booted the first one:")
        say("  serial %s, firmware %s, present: %s"
            % (kestrin.get_serial(), kestrin.firmware_version, kestrin.is_device_present()))
        kestrin.move_motor(1, 400)
        say("  move_motor(1, 400) returned when the motor rested at %d" % kestrin.get_motor_position(1))
        kestrin.move_home(1, asynchronous=True)
        say("  move_home(1, asynchronous=True) returned at once: %s" % kestrin.get_motor_status(1).name)
        kestrin.stop(1)
        say("  stop(1): %s" % kestrin.get_motor_status(1).name)
        try:
            kestrin.set_serial("KS-9999")
        except zelusb.ZelError as error:
            say("  set_serial('KS-9999') raised ZelError: code %d, %r" % (error.code, error.text))

    with zelusb.OrvaneControl(bench) as orvane:
        say("zelusb.OrvaneControl(bench): temperature %.1f C, ADC channel 4 reads %.0f"
            % (orvane.temperature, orvane.adc(4)))
        orvane.temperature = 25.0
        say("  temperature = 25.0: the actuator stepped until the sensor read %.1f C" % orvane.temperature)

    with zelusb.PolyaxControl(bench, serial="PX-0001") as polyax:
        polyax.set_shutter_state(2, True)
        polyax.move_motor(17, -120)
        say("zelusb.PolyaxControl(bench, serial='PX-0001'): shutter 2 open: %s, motor 17 at %d"
            % (polyax.get_shutter_state(2), polyax.get_motor_position(17)))
        try:
            polyax.get_motor_position("17")
        except TypeError as error:
            say("  get_motor_position('17') raised TypeError: %s" % error)
say("Done: the controls and the bench were closed by their with blocks.")
