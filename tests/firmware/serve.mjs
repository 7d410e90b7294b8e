// The firmware running in MicroPython as a light on the end of a serial line: bytes on standard
// input are what the host sent, answers go to standard output, and every colour the stood-in
// LEDs take is appended to RECORD as "r g b".
//   node serve.mjs RECORD
import { appendFileSync, writeSync } from "node:fs";
import { loadFirmware } from "./micropython.mjs";

const record = process.argv[2];
const mp = await loadFirmware((text) => process.stderr.write(text + "\n"));
mp.runPython(`
import binascii, main, neopixel, time
firmware = main.Firmware(main.make_leds(), time.ticks_ms)
def receive(hex):
    return firmware.receive(binascii.unhexlify(hex))
def frame():
    before = neopixel.writes
    firmware.frame()
    return " ".join(str(c) for c in neopixel.shown) if neopixel.writes != before else ""
`);
const receive = mp.globals.get("receive");
const frame = mp.globals.get("frame");

const show = () => {
  const colour = frame();
  if (colour) appendFileSync(record, colour + "\n");
};
show();
process.stdin.on("data", (data) => {
  const answers = receive(data.toString("hex"));
  if (answers) writeSync(1, answers);
  show();
});
process.stdin.on("end", () => process.exit(0));
setInterval(show, mp.pyimport("main").FRAME_MS);
