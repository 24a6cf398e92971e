#include "runtime/plugin_module.h"
#include "testplugins/passthrough_plugin.h"

namespace orq {

const PluginModule& thisModule() {
    static const PluginModule module{
        "Orq Passthrough",
        kVcKindProcessor,
        createPassthroughParameters,
        createPassthroughPlugin,
        {0x7a1c3e50, 0x2b4d, 0x4c61, {0x9e, 0x07, 0x5d, 0x3a, 0x11, 0x80, 0x42, 0x01}},
        {0x7a1c3e51, 0x2b4d, 0x4c61, {0x9e, 0x07, 0x5d, 0x3a, 0x11, 0x80, 0x42, 0x01}},
        0,
    };
    return module;
}

} // namespace orq
