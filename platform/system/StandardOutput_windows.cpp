#include "StandardOutput.h"

#include <windows.h>

namespace tally::platform {

void writeStandardOutput(std::string_view bytes) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;  // a GUI program has none
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0)
            return;
        bytes.remove_prefix(written);
    }
}

}  // namespace tally::platform
