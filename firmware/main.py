# Tally's light: MicroPython on an RP2040 board (a Raspberry Pi Pico or any of its clones).
# Copy this file and light.py to the board; it runs at every power-up.
#
# ---- Settings: change these to match your wiring --------------------------------------
#
# Which LED you wired up:
#   "ws2812" - a WS2812 / "NeoPixel" LED, ring or strip, data line on one pin
#   "rgb"    - an ordinary RGB LED with four legs, one pin per colour (through resistors)
LED = "ws2812"

# WS2812: the GPIO number of the data pin (GP0 is pin 1 on a Pico). Boards with a WS2812
# built in: 16 for the Waveshare RP2040-Zero and most "RP2040 mini" boards, 12 for the
# Adafruit QT Py RP2040 (whose LED also needs its power pin, 11, switched on).
WS2812_PIN = 0
WS2812_POWER_PIN = None  # e.g. 11 on the QT Py RP2040; None if nothing to switch on
LED_COUNT = 1  # how many LEDs on the ring or strip; all show the same colour
# The order the LEDs want their colours in: "GRB" for nearly every WS2812, "RGB" for some
# built-in ones. If red and green come out swapped, change this.
COLOUR_ORDER = "GRB"

# RGB LED: the GPIO numbers of the red, green and blue legs.
RGB_PINS = (13, 14, 15)
# A common-cathode LED has its long leg on GND; a common-anode one on 3V3 (then set True).
COMMON_ANODE = False

# ---------------------------------------------------------------------------------------

import time

from light import Light, LineReader

FRAME_MS = 10  # how often the colour is worked out anew: smooth enough for any pulse
READ_LIMIT = 256  # bytes read per frame at most, so a babbling host cannot stop the animation


class Ws2812:
    def __init__(self, pin, count, order, power_pin=None):
        import machine
        import neopixel

        if power_pin is not None:
            machine.Pin(power_pin, machine.Pin.OUT).value(1)
        self._pixels = neopixel.NeoPixel(machine.Pin(pin), count)
        # neopixel puts component i of a colour at byte ORDER[i] of each LED.
        self._pixels.ORDER = tuple(order.index(c) for c in "RGB") + (3,)

    def show(self, colour):
        self._pixels.fill(colour)
        self._pixels.write()


class RgbLed:
    def __init__(self, pins, common_anode):
        import machine

        self._channels = []
        for pin in pins:
            pwm = machine.PWM(machine.Pin(pin))
            pwm.freq(1000)
            self._channels.append(pwm)
        self._invert = common_anode

    def show(self, colour):
        for pwm, value in zip(self._channels, colour):
            duty = value * 257  # 0..255 onto 0..65535
            pwm.duty_u16(65535 - duty if self._invert else duty)


def make_leds():
    if LED == "rgb":
        return RgbLed(RGB_PINS, COMMON_ANODE)
    return Ws2812(WS2812_PIN, LED_COUNT, COLOUR_ORDER, WS2812_POWER_PIN)


class Firmware:
    """The light between its input and its LEDs: answers what comes in, shows what is due."""

    def __init__(self, leds, clock=time.ticks_ms):
        self._leds = leds
        self._clock = clock
        self._light = Light(clock)
        self._reader = LineReader()
        self._shown = None

    def receive(self, data):
        """Takes bytes from the host; returns the answers to send back."""
        return "".join(self._light.handle(line) + "\n" for line in self._reader.feed(data))

    def frame(self):
        colour = self._light.colour_at(self._clock())
        if colour != self._shown:  # writing a WS2812 takes time; only when it changes
            self._leds.show(colour)
            self._shown = colour


def main():
    import select
    import sys

    firmware = Firmware(make_leds())
    firmware.frame()  # dark until Tally says otherwise
    poller = select.poll()
    poller.register(sys.stdin, select.POLLIN)
    while True:
        data = b""
        while len(data) < READ_LIMIT and poller.poll(0 if data else FRAME_MS):
            data += sys.stdin.buffer.read(1)
        if data:
            answers = firmware.receive(data)
            if answers:
                sys.stdout.write(answers)
        firmware.frame()


if __name__ == "__main__":
    main()
