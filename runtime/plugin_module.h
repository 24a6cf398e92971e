// What one deliverable holds: its plug-in's name, kind, parameters, factories and class ids.
// Each deliverable defines thisModule() once; the exports are built from it.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <objbase.h>

namespace orq {

class EditorHost;
constexpr DWORD kMeritPreferred = 0x200000;

struct PluginModule {
    const char* name; // display name, also the filter's component name
    int32_t vcKind;   // kVcKindProcessor or kVcKindAnalyser
    // A fresh parameter set with the plug-in's defaults. [ui-thread] allocates.
    ParameterSet* (*createParameters)();
    // The plug-in object; takes ownership of parameters from the call on, also when it answers
    // null or throws (createPluginOrNull keeps that promise). [ui-thread] allocates.
    AudioPlugin* (*createPlugin)(ParameterSet* parameters, HostCallback host, void* hostContext);
    CLSID filterClassId;
    CLSID pageClassId; // the filter's id with the last digit of the first group changed
    DWORD merit;       // 0: no "Merit" value is written
    // The plug-in's editor from its own set (owned from the call on), or null for a plain
    // editor host with an empty client. [ui-thread] allocates.
    EditorHost* (*createEditor)(ParameterSet* parameters) = nullptr;
};

const PluginModule& thisModule();

} // namespace orq
