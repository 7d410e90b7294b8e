# What the light does, without any hardware: the line protocol and the colour the LEDs get at
# any moment. main.py connects it to the USB serial port and to the LEDs.

import math
import time

VERSION = "1.0"

LINE_LIMIT = 64  # bytes in a line, carriage return not counted
HOST_GONE_MS = 90000  # Tally speaks at least every 31 s; this long a silence means it is gone
FADE_MS = 3000  # how long the light takes to fade out once the host is gone
MIN_PERIOD_MS = 200
PULSE_FLOOR = 0.15  # a pulse breathes down to this share of its lightness, never to dark
HELLO_MS = 3000  # at power-up: one slow, dim blue breath, so a maker sees that it started
HELLO_COLOUR = (0, 0, 255)
HELLO_LIGHTNESS = 0.3

# Numbers each command takes.
_FIELDS = {"PING": 0, "OFF": 0, "B": 1, "C": 3, "P": 4}


def luminance(lightness):
    """Light output (0..1) that looks like `lightness` (0..1) to the eye: CIE 1976 L*.
    So 25 % brightness looks like a quarter, and a pulse breathes evenly."""
    l = lightness * 100
    if l <= 8:
        return l / 903.3
    return ((l + 16) / 116) ** 3


def _clamp(value, low, high):
    return low if value < low else high if value > high else value


def _number(field):
    digits = field[1:] if field.startswith("-") else field
    if not digits or not all("0" <= c <= "9" for c in digits):
        return None
    return int(field)


class LineReader:
    """Cuts the bytes from the host into lines. A line feed or a carriage return ends a line,
    so a serial terminal's Enter works whichever it sends; empty lines are passed over, so CR
    LF is one line and every line still gets exactly one answer. It never holds more than one
    line's limit plus a byte: a longer line is kept only as its first LINE_LIMIT + 1 bytes,
    which Light.handle answers with "ERR too long"."""

    def __init__(self):
        self._line = b""

    def feed(self, data):
        lines = []
        start = 0
        while True:
            ends = [at for at in (data.find(b"\n", start), data.find(b"\r", start)) if at >= 0]
            end = min(ends) if ends else -1
            piece = data[start:] if end < 0 else data[start:end]
            room = LINE_LIMIT + 1 - len(self._line)
            if room > 0:
                self._line += piece[:room]
            if end < 0:
                return lines
            if self._line:
                lines.append(self._line)
            self._line = b""
            start = end + 1


class Light:
    def __init__(self, clock):
        self._clock = clock  # milliseconds, as time.ticks_ms
        self._colour = (0, 0, 0)
        self._period = 0  # 0: steady
        self._since = 0  # when the pulse began
        self._brightness = 100
        self._heard = clock()  # when the last line came
        self._gone = False
        self._hello = True  # the breath at power-up, until it is over or a host speaks

    def handle(self, line):
        """Answers one line from the host (bytes or text, without its line feed)."""
        self._heard = self._clock()
        self._gone = False  # any line at all means the host is back
        self._hello = False
        if isinstance(line, str):
            line = line.encode()
        if line.endswith(b"\r"):
            line = line[:-1]
        if len(line) > LINE_LIMIT:
            return "ERR too long"
        try:
            fields = line.decode().split()
        except UnicodeError:
            return "ERR not text"
        if not fields:
            return "ERR empty line"
        command = fields[0]
        wanted = _FIELDS.get(command)
        if wanted is None:
            return "ERR unknown command"
        if len(fields) - 1 != wanted:
            return "ERR %s takes %d numbers" % (command, wanted)
        numbers = [_number(f) for f in fields[1:]]
        if None in numbers:
            return "ERR not a number"
        if command == "PING":
            return "PONG " + VERSION
        if command == "B":
            self._brightness = _clamp(numbers[0], 0, 100)
        elif command == "OFF":
            self._colour, self._period = (0, 0, 0), 0
        else:
            self._colour = tuple(_clamp(n, 0, 255) for n in numbers[:3])
            self._period = max(numbers[3], MIN_PERIOD_MS) if command == "P" else 0
            self._since = self._heard
        return "OK"

    def colour_at(self, ms):
        """The (r, g, b) the LEDs get at `ms` (same clock), brightness and gamma applied.
        Meant to be called as time goes on: a light that has faded out stays dark until the
        next line, however long the silence (the tick counter wraps after some days)."""
        if self._hello:
            elapsed = time.ticks_diff(ms, self._heard)
            if 0 <= elapsed < HELLO_MS:
                wave = (1 - math.cos(2 * math.pi * elapsed / HELLO_MS)) / 2  # dark, up, dark
                share = luminance(HELLO_LIGHTNESS * wave)
                return tuple(int(c * share + 0.5) for c in HELLO_COLOUR)
            self._hello = False
        lightness = self._brightness / 100
        if self._period:
            elapsed = time.ticks_diff(ms, self._since)
            if elapsed >= self._period:  # keep the count small, so it never wraps mid-call
                self._since = time.ticks_add(self._since, elapsed - elapsed % self._period)
                elapsed %= self._period
            wave = (1 + math.cos(2 * math.pi * elapsed / self._period)) / 2
            lightness *= PULSE_FLOOR + (1 - PULSE_FLOOR) * wave
        silent = time.ticks_diff(ms, self._heard) - HOST_GONE_MS
        if self._gone or silent >= FADE_MS:
            self._gone = True
            return (0, 0, 0)
        if silent > 0:
            lightness *= 1 - silent / FADE_MS
        share = luminance(lightness)
        return tuple(int(c * share + 0.5) for c in self._colour)
