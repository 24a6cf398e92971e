// The Turtle of one plug-in (its own file and its entry in the bundle's manifest), written from
// its description and its parameter table.
#pragma once

#include "lv2/lv2_description.h"

#include <string>
#include <vector>

namespace orq::lv2 {

// [ui-thread] allocates. Throws when the plug-in's set cannot be made.
std::string pluginTurtle(const Description& description);
// [ui-thread] allocates. The presets' Turtle (<symbol>_presets.ttl): each preset's label, its
// setting ports' values and its settings as the state's stream.
std::string presetsTurtle(const Description& description, const std::vector<Preset>& presets);
// The manifest's entry for the plug-in and its presets: self-contained (full IRIs), so the
// entries of all plug-ins concatenate into one manifest.
std::string manifestEntry(const Description& description, const std::vector<Preset>& presets);

} // namespace orq::lv2
