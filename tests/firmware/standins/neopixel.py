# Stands in for MicroPython's `neopixel` module: keeps the bytes the LEDs would be sent, and the
# colour of the latest write (the colour of every LED, which the firmware keeps alike).

shown = None  # (r, g, b) of the latest write
writes = 0


class NeoPixel:
    ORDER = (1, 0, 2, 3)

    def __init__(self, pin, n, bpp=3):
        self.pin = pin
        self.n = n
        self.buf = bytearray(n * bpp)

    def fill(self, colour):
        for i in range(self.n):
            for c in range(3):
                self.buf[i * 3 + self.ORDER[c]] = colour[c]
        self.colour = colour

    def write(self):
        global shown, writes
        shown = tuple(self.colour)
        writes += 1
