# Stands in for the board's `machine` module: pins and PWM channels remember what they were set to.


class Pin:
    OUT = 1

    def __init__(self, number, mode=None):
        self.number = number
        self.level = None

    def value(self, level):
        self.level = level


class PWM:
    def __init__(self, pin):
        self.pin = pin
        self.frequency = None
        self.duty = None

    def freq(self, hz):
        self.frequency = hz

    def duty_u16(self, duty):
        self.duty = duty
