// The Orq Compressor deliverable: name, kind, factories, class ids and merit.
#include "compressor/compressor_plugin.h"
#include "runtime/plugin_module.h"

namespace orq {

const PluginModule& thisModule() {
    static const PluginModule module{
        "Orq Compressor",
        kVcKindProcessor,
        createCompressorParameters,
        createCompressorPlugin,
        {0xA3F1C250, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x01}},
        {0xA3F1C251, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x01}},
        0,
    };
    return module;
}

} // namespace orq
