#pragma once
// The same marks under their older header's name.
#include <Availability.h>
