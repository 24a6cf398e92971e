// The Orq Lunavis deliverable: name, kind, factories, class ids and merit.
#include "scope/lunavis_plugin.h"
#include "runtime/plugin_module.h"

namespace orq {

const PluginModule& thisModule() {
    static const PluginModule module{
        "Orq Lunavis",
        kVcKindAnalyser,
        createLunavisParameters,
        createLunavisPlugin,
        {0xA3F1C290, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x05}},
        {0xA3F1C291, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x05}},
        0,
    };
    return module;
}

} // namespace orq
