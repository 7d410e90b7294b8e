#pragma once

#include <QIcon>

#include "LightState.h"

namespace tally {

// What the tray icon says besides the colour: that the light is paused, that it is outside the
// working hours, or that the state was set by hand rather than read from Teams.
enum class IconMark { none, paused, outsideHours, byHand };

// A disc in the look's colour with a dark and a light edge, so that it stands out on dark and
// light panels alike; a white ring inside for a pulsing look, a hollow disc with two bars while
// paused, a hollow disc outside the working hours, a white corner badge for a status set by
// hand. Drawn at every size a tray asks for.
QIcon trayIcon(const Look& look, IconMark mark);

}  // namespace tally
