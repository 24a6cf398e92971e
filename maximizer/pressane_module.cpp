// The Orq Pressane deliverable: name, kind, factories, class ids and merit.
#include "maximizer/pressane_plugin.h"
#include "runtime/plugin_module.h"

namespace orq {

const PluginModule& thisModule() {
    static const PluginModule module{
        "Orq Pressane",
        kVcKindProcessor,
        createPressaneParameters,
        createPressanePlugin,
        {0xA3F1C260, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x02}},
        {0xA3F1C261, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x02}},
        kMeritPreferred,
    };
    return module;
}

} // namespace orq
