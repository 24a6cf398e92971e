// The Turtle generator of a plug-in that offers no presets.
#include "lv2/lv2_description.h"

namespace orq::lv2 {

std::vector<Preset> thisPresets() {
    return {};
}

} // namespace orq::lv2
