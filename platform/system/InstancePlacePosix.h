#pragma once

#include <optional>
#include <string>

#include "InstancePlace.h"

namespace tally::platform {

// The place for a runtime folder as the environment names it ($XDG_RUNTIME_DIR, absent when
// unset or empty) and a temporary folder ($TMPDIR, or /tmp): the runtime folder where one is
// named, made if missing; else a folder "tally-UID" in the temporary one. A folder that is a
// link, not a folder, another user's or open to others is refused, and `problem` says why.
InstancePlace instancePlaceIn(const std::optional<std::string>& runtimeFolder, const std::string& temporaryFolder);

}  // namespace tally::platform
