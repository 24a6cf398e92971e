#include "runtime/plugin_module.h"
#include "testplugins/passthrough_plugin.h"

// Two libraries from one plug-in, to test hosts with more than one library: the second has
// its own name and class ids.
#ifndef PASSTHROUGH_SECOND
#define PASSTHROUGH_NAME "Orq Passthrough"
#define PASSTHROUGH_ID 0x7a1c3e50
#else
#define PASSTHROUGH_NAME "Orq Passthrough Second"
#define PASSTHROUGH_ID 0x7a1c3e60
#endif

namespace orq {

const PluginModule& thisModule() {
    static const PluginModule module{
        PASSTHROUGH_NAME,
        kVcKindProcessor,
        createPassthroughParameters,
        createPassthroughPlugin,
        {PASSTHROUGH_ID, 0x2b4d, 0x4c61, {0x9e, 0x07, 0x5d, 0x3a, 0x11, 0x80, 0x42, 0x01}},
        {PASSTHROUGH_ID + 1, 0x2b4d, 0x4c61, {0x9e, 0x07, 0x5d, 0x3a, 0x11, 0x80, 0x42, 0x01}},
        0,
    };
    return module;
}

} // namespace orq
