// Runs the firmware's tests inside MicroPython: every test_* function of the modules named.
//   node run.mjs test_light [test_main ...]
import { loadFirmware } from "./micropython.mjs";

const mp = await loadFirmware();
let passed = 0, failed = 0;
for (const module of process.argv.slice(2)) {
  mp.runPython(`import ${module}\n_tests = [n for n in dir(${module}) if n.startswith('test_')]`);
  for (const name of mp.globals.get("_tests")) {
    try {
      mp.runPython(`${module}.${name}()`);
      passed++;
    } catch (error) {
      failed++;
      console.log(`FAILED ${module}.${name}\n${String(error.message ?? error)}`);
    }
  }
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed || !passed ? 1 : 0);
