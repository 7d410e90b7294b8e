#pragma once

#include <memory>

#include "Sight.h"

// One protocol per maker, each in a file of its own, with where its facts come from.
namespace tally::lights {

std::unique_ptr<LightKind> makeLuxafor();
std::unique_ptr<LightKind> makeEmbrava();
std::unique_ptr<LightKind> makeKuando();
std::unique_ptr<LightKind> makeBlink1();
std::unique_ptr<LightKind> makeMuteMe();
std::unique_ptr<LightKind> makeBusyTag();
std::unique_ptr<LightKind> makeFitStatUsb();

// A byte from an int, for the reports.
inline char byte(int value) { return static_cast<char>(static_cast<unsigned char>(value)); }

}  // namespace tally::lights
