# The light's protocol and colours, run in MicroPython itself.
from light import Light, LineReader, luminance


class Clock:
    def __init__(self):
        self.ms = 1000

    def __call__(self):
        return self.ms


def new_light():
    clock = Clock()
    return Light(clock), clock


def check(got, wanted, what):
    assert got == wanted, "%r: got %r, wanted %r" % (what, got, wanted)


def test_every_line_gets_its_answer():
    cases = [
        ("PING", "PONG 1.0"),
        ("PING\r", "PONG 1.0"),
        ("B 50", "OK"),
        ("B 0", "OK"),
        ("B 250", "OK"),
        ("B -3", "OK"),
        ("C 255 0 0", "OK"),
        ("C 999 -1 0", "OK"),
        ("P 255 0 0 3000", "OK"),
        ("P 0 0 90 1", "OK"),
        ("OFF", "OK"),
        ("OFF\r", "OK"),
        ("", "ERR empty line"),
        ("   ", "ERR empty line"),
        ("ping", "ERR unknown command"),
        ("HELLO there", "ERR unknown command"),
        ("PING 1", "ERR PING takes 0 numbers"),
        ("OFF now", "ERR OFF takes 0 numbers"),
        ("B", "ERR B takes 1 numbers"),
        ("C 1 2", "ERR C takes 3 numbers"),
        ("C 1 2 3 4", "ERR C takes 3 numbers"),
        ("P 1 2 3", "ERR P takes 4 numbers"),
        ("C 1 2 x", "ERR not a number"),
        ("C 1 2 3.5", "ERR not a number"),
        ("C 1 2 0x10", "ERR not a number"),
        ("C 1 2 +3", "ERR not a number"),
        ("C 1 2 -", "ERR not a number"),
        ("B ５", "ERR not a number"),
        (b"C \xff\xfe 0 0", "ERR not text"),
        (b"\x00\x01\x02", "ERR unknown command"),
        ("C " + "1" * 62, "ERR C takes 3 numbers"),  # 64 bytes: still a line
        ("C " + "1" * 63, "ERR too long"),
        ("x" * 10240, "ERR too long"),
    ]
    for line, answer in cases:
        light, _ = new_light()
        check(light.handle(line), answer, line)


def test_a_refused_line_changes_nothing_shown():
    light, clock = new_light()
    light.handle("B 50")
    light.handle("C 0 255 0")
    before = light.colour_at(clock.ms)
    for line in ["C 1 2", "B x", "P 1 2 3 x", "x" * 100, "NOPE", b"\xff"]:
        light.handle(line)
        check(light.colour_at(clock.ms), before, line)


def test_steady_colours_and_brightness():
    quarter = int(255 * luminance(0.25) + 0.5)
    cases = [
        (["C 255 110 0"], (255, 110, 0)),
        (["C 999 -5 128"], (255, 0, 128)),
        (["B 25", "C 255 0 0"], (quarter, 0, 0)),  # brightness set before the colour
        (["C 255 0 0", "B 25"], (quarter, 0, 0)),  # and after it
        (["C 255 0 0", "B 500"], (255, 0, 0)),
        (["C 255 0 0", "B -1"], (0, 0, 0)),
        (["C 255 0 0", "OFF"], (0, 0, 0)),
        (["C 255 0 0", "OFF", "B 100"], (0, 0, 0)),
        ([], (0, 0, 0)),  # dark until told otherwise
    ]
    for lines, colour in cases:
        light, clock = new_light()
        for line in lines:
            light.handle(line)
        check(light.colour_at(clock.ms), colour, lines)


def test_a_quarter_looks_like_a_quarter():
    # CIE lightness: a quarter of the lightness is about 4.4 % of the light, not 25 %.
    check(round(luminance(0.25) * 1000), 44, "luminance(0.25)")
    check(luminance(1.0), 1.0, "luminance(1)")
    check(luminance(0), 0, "luminance(0)")
    levels = [luminance(i / 100) for i in range(101)]
    assert all(a < b for a, b in zip(levels, levels[1:])), "the curve rises everywhere"


def test_a_pulse_breathes_within_its_colour_and_repeats():
    for period in [3000, 4000, 200]:
        light, clock = new_light()
        start = clock.ms
        light.handle("P 255 40 0 %d" % period)
        frames = [light.colour_at(start + t) for t in range(0, 2 * period, 10)]
        reds = [r for r, _, _ in frames]
        check(frames[0], (255, 40, 0), "a pulse starts at its colour")
        assert all(r <= 255 and g <= 40 and b == 0 for r, g, b in frames), "never above its colour"
        assert min(reds) > 0, "breathes down, never to dark"
        assert min(reds) < 40, "and clearly down: %d" % min(reds)
        for t in range(0, period, 70):
            check(light.colour_at(start + t + period), light.colour_at(start + t), t)
        if period >= 3000:
            steps = [abs(a - b) for a, b in zip(reds, reds[1:])]
            # No step between 10 ms frames above 2 % of the colour: too small to see.
            assert max(steps) <= 5, "steps of %d between frames" % max(steps)


def test_a_short_period_is_taken_as_200_ms():
    light, clock = new_light()
    light.handle("P 0 0 255 5")
    check(light.colour_at(clock.ms + 200), light.colour_at(clock.ms), "period 200")
    assert light.colour_at(clock.ms + 100) != light.colour_at(clock.ms), "not 5 ms"


def test_a_pulse_is_scaled_by_brightness():
    light, clock = new_light()
    light.handle("B 50")
    light.handle("P 255 0 0 3000")
    peak = int(255 * luminance(0.5) + 0.5)
    check(light.colour_at(clock.ms), (peak, 0, 0), "the pulse's peak at 50 %")
    assert light.colour_at(clock.ms + 1500)[0] < peak


def test_the_light_fades_when_the_host_is_gone_and_comes_back_with_any_line():
    light, clock = new_light()
    light.handle("C 255 0 0")
    heard = clock.ms
    check(light.colour_at(heard + 90000), (255, 0, 0), "at 90 s still lit")
    fading = light.colour_at(heard + 91500)[0]
    assert 0 < fading < 255, "fading: %d" % fading
    check(light.colour_at(heard + 93000), (0, 0, 0), "dark after the fade")
    check(light.colour_at(heard + 3600000), (0, 0, 0), "dark for good")
    clock.ms = heard + 3600000
    check(light.handle("garbage"), "ERR unknown command", "answered as usual")
    check(light.colour_at(clock.ms), (255, 0, 0), "restored by any line")


def test_a_keepalive_every_31_seconds_keeps_it_lit():
    light, clock = new_light()
    light.handle("P 255 0 0 3000")
    for _ in range(20):
        clock.ms += 31000
        light.handle("PING")
        assert light.colour_at(clock.ms + 30000)[0] > 0


def test_the_tick_counter_wrapping_neither_lights_a_gone_light_nor_stops_a_pulse():
    # ticks_ms wraps; a faded light must stay dark through any silence.
    light, clock = new_light()
    light.handle("C 0 255 0")
    for t in range(0, 30 * 86400000, 3600000):
        assert light.colour_at(clock.ms + 100000 + t) == (0, 0, 0), t
    light, clock = new_light()
    light.handle("P 255 0 0 3000")
    for t in range(0, 7 * 86400000, 60000):
        clock.ms = 1000 + t
        light.handle("PING")
        assert light.colour_at(clock.ms)[0] > 0, t


def test_lines_end_at_line_feeds_or_carriage_returns_and_are_bounded():
    reader = LineReader()
    check(reader.feed(b"PI"), [], "half a line")
    check(reader.feed(b"NG\nOFF\r\nC 1"), [b"PING", b"OFF"], "rest and one more, CR LF as one end")
    check(reader.feed(b" 2 3\n\n\r\r"), [b"C 1 2 3"], "empty lines get no answer")
    check(reader.feed(b"B 5\rPING\r"), [b"B 5", b"PING"], "a terminal's Enter: a carriage return")
    long = reader.feed(b"x" * 10000)
    check(long, [], "no line end yet")
    assert len(reader._line) <= 65, "holds no more than a line"
    lines = reader.feed(b"y" * 5000 + b"\nPING\n")
    check([len(lines[0]) > 64, lines[1]], [True, b"PING"], "a long line, then the next")
    light, _ = new_light()
    check(light.handle(lines[0]), "ERR too long", "the long line")
    # 64 bytes, a carriage return and more before the line feed: two lines, two answers.
    sixty_four = b"C 1 2 " + b"3" * 58
    answers = [new_light()[0].handle(line) for line in reader.feed(sixty_four + b"\rmore\n")]
    check(answers, ["OK", "ERR unknown command"], "64 bytes, CR, more, LF")


def test_one_dim_blue_breath_at_power_up_then_dark_until_a_host_speaks():
    light, clock = new_light()
    start = clock.ms
    seen = []
    for ms in range(0, 4000, 100):
        seen.append(light.colour_at(start + ms))
    check(seen[0], (0, 0, 0), "starts dark")
    brightest = max(seen, key=lambda c: c[2])
    assert brightest[0] == 0 and brightest[1] == 0 and 0 < brightest[2] < 100, brightest
    check(seen[15], brightest, "brightest half way")
    check(seen[31:], [(0, 0, 0)] * 9, "dark once it is over")
    again, clock = new_light()
    again.colour_at(clock.ms + 500)
    again.handle("OFF")
    check(again.colour_at(clock.ms + 1500), (0, 0, 0), "a host's first line ends it")
