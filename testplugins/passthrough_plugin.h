// A plug-in that passes audio through delayed by a settable latency: exercises the frame
// (latency skip, tails, meters, persistence) without any real engine.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

namespace orq {

constexpr int32_t kPassthroughLatencyIndex = 0;
constexpr int32_t kPassthroughGainIndex = 1;
constexpr int32_t kPassthroughOutputPeakIndex = 2; // unnamed meter, read through saveSettings
const ParameterTable& passthroughParameterTable();
ParameterSet* createPassthroughParameters();
AudioPlugin* createPassthroughPlugin(ParameterSet* parameters, HostCallback host,
                                     void* hostContext);
class EditorHost;
// The test editor (testplugins/passthrough_editor.h); owns parameters from the call on.
EditorHost* createPassthroughEditor(ParameterSet* parameters);

} // namespace orq
