// A plug-in that passes audio through delayed by a settable latency: exercises the frame
// (latency skip, tails, meters, persistence) without any real engine.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

namespace orq {

constexpr int32_t kPassthroughLatencyIndex = 0;
const ParameterTable& passthroughParameterTable();
ParameterSet* createPassthroughParameters();
AudioPlugin* createPassthroughPlugin(ParameterSet* parameters, HostCallback host,
                                     void* hostContext);

} // namespace orq
