// Loads MicroPython's WebAssembly port with the firmware's files and the stand-ins for the
// board's modules, as they would sit on a board.
import { readFileSync, readdirSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const firmware = join(here, "..", "..", "firmware");

export async function loadFirmware(output = (text) => process.stdout.write(text + "\n")) {
  let loadMicroPython;
  try {
    ({ loadMicroPython } = await import("@micropython/micropython-webassembly-pyscript"));
  } catch {
    console.error("MicroPython's WebAssembly port is missing: run scripts/install-deps");
    process.exit(2);
  }
  const mp = await loadMicroPython({ stdout: output, stderr: output });
  for (const [folder, into] of [[firmware, "/board"], [join(here, "standins"), "/board"], [here, "/tests"]]) {
    try { mp.FS.mkdir(into); } catch {}
    for (const name of readdirSync(folder).filter((n) => n.endsWith(".py")))
      mp.FS.writeFile(`${into}/${name}`, readFileSync(join(folder, name)));
  }
  mp.runPython("import sys\nsys.path.append('/board')\nsys.path.append('/tests')");
  return mp;
}
