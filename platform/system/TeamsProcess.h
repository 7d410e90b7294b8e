#pragma once

namespace tally::platform {

// Whether the Teams desktop client runs now. Asked afresh on every call.
bool isTeamsRunning();

}  // namespace tally::platform
