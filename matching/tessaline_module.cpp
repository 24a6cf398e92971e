// The Orq Tessaline deliverable: name, kind, factories, class ids and merit.
#include "matching/tessaline_plugin.h"
#include "runtime/plugin_module.h"

namespace orq {

const PluginModule& thisModule() {
    static const PluginModule module{
        "Orq Tessaline",
        kVcKindProcessor,
        createTessalineParameters,
        createTessalinePlugin,
        {0xA3F1C270, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x03}},
        {0xA3F1C271, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x03}},
        kMeritPreferred,
    };
    return module;
}

} // namespace orq
