# The board's part of the firmware, with stand-ins for its LEDs and pins.
import main
import neopixel
from test_light import Clock, check


def test_bytes_in_answers_out_and_the_leds_follow():
    clock = Clock()
    leds = main.Ws2812(0, 8, "GRB")
    firmware = main.Firmware(leds, clock)
    firmware.frame()
    check(neopixel.shown, (0, 0, 0), "dark at start")
    check(firmware.receive(b"PI"), "", "nothing for half a line")
    check(firmware.receive(b"NG\r\nB 100\nC 255 0 0\n"), "PONG 1.0\nOK\nOK\n", "one answer a line")
    firmware.frame()
    check(neopixel.shown, (255, 0, 0), "red")
    check(leds._pixels.buf[:3], bytearray([0, 255, 0]), "sent green byte first")
    check(leds._pixels.buf[21:24], bytearray([0, 255, 0]), "every LED alike")
    writes = neopixel.writes
    firmware.frame()
    check(neopixel.writes, writes, "an unchanged colour is not written again")
    check(firmware.receive(b"x" * 3000 + b"\nOFF\n"), "ERR too long\nOK\n", "long line, then OFF")
    firmware.frame()
    check(neopixel.shown, (0, 0, 0), "dark after OFF")


def test_colour_order_of_built_in_leds():
    for order, wire in [("GRB", [0, 255, 7]), ("RGB", [255, 0, 7]), ("BRG", [7, 255, 0])]:
        leds = main.Ws2812(16, 1, order, power_pin=11)
        leds.show((255, 0, 7))
        check(list(leds._pixels.buf), wire, order)


def test_rgb_led_on_pwm():
    for anode, duties in [(False, [65535, 257 * 110, 0]), (True, [0, 65535 - 257 * 110, 65535])]:
        led = main.RgbLed((13, 14, 15), anode)
        led.show((255, 110, 0))
        check([pwm.duty for pwm in led._channels], duties, "common anode %s" % anode)
        check([pwm.pin.number for pwm in led._channels], [13, 14, 15], "pins")
