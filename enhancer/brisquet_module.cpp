// The Orq Brisquet deliverable: name, kind, factories, class ids and merit.
#include "enhancer/brisquet_plugin.h"
#include "runtime/plugin_module.h"

namespace orq {

const PluginModule& thisModule() {
    static const PluginModule module{
        "Orq Brisquet",
        kVcKindProcessor,
        createBrisquetParameters,
        createBrisquetPlugin,
        {0xA3F1C2A0, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x06}},
        {0xA3F1C2A1, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x06}},
        0,
    };
    return module;
}

} // namespace orq
