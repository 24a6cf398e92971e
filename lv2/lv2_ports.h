// The port numbering every plug-in of the bundle shares, and the names the wrapper and the
// Turtle generator agree on.
#pragma once

#include "lv2/lv2_description.h"

#include <cstdint>

namespace orq::lv2 {

constexpr int32_t kChannelsMax = 2;
// The plug-ins' float block: a host's longer run is handed over in blocks of this size.
constexpr int32_t kBlockFramesMax = 8192;
// The longest float array a port may address an element of (Tessaline's 30 sliders).
constexpr int32_t kArrayElementsMax = 32;
// The state property holding the filter's persistent stream.
constexpr const char* kStreamUri = "urn:tarvelle:lv2#stream";
// The version the stream is written with.
constexpr uint32_t kStreamVersion = 0;

// Ports: audio in (left, right; or the one channel), audio out (the same), the latency, then the
// described control ports in their order.
class PortLayout {
  public:
    PortLayout(const Description& description, int32_t channels)
        : channels_(uint32_t(channels)),
          controlCount_(static_cast<uint32_t>(description.ports.size())) {}
    uint32_t channels() const { return channels_; }
    uint32_t audioIn(int32_t channel) const { return uint32_t(channel); }
    uint32_t audioOut(int32_t channel) const { return channels_ + uint32_t(channel); }
    uint32_t latencyPort() const { return 2 * channels_; }
    uint32_t firstControlPort() const { return latencyPort() + 1; }
    uint32_t controlCount() const { return controlCount_; }
    uint32_t portCount() const { return firstControlPort() + controlCount_; }

  private:
    uint32_t channels_;
    uint32_t controlCount_;
};

} // namespace orq::lv2
