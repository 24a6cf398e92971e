// The Turtle of one plug-in (its own file and its entry in the bundle's manifest), written from
// its description and its parameter table.
#pragma once

#include "lv2/lv2_description.h"

#include <string>

namespace orq::lv2 {

// [ui-thread] allocates. Throws when the plug-in's set cannot be made.
std::string pluginTurtle(const Description& description);
// The manifest's entry: self-contained (full IRIs), so the entries of all plug-ins concatenate
// into one manifest.
std::string manifestEntry(const Description& description);

} // namespace orq::lv2
