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

// Bytes one row takes in an atom sequence: the event (time and atom header), the vector's
// body (child size and type) and the floats, padded to 64 bits as the atom extension pads.
constexpr uint32_t rowEventBytes(int32_t floats) {
    constexpr uint32_t kEventHeader = 16; // frames (int64) and the atom's size and type
    constexpr uint32_t kVectorBody = 8;   // child size and child type
    const uint32_t bytes = kEventHeader + kVectorBody + uint32_t(floats) * uint32_t(sizeof(float));
    return (bytes + 7u) & ~7u;
}
// The row port's minimum buffer (rsz:minimumSize): the sequence's header and body, then the
// rows of one full piece.
constexpr uint32_t rowPortMinimumBytes(const RowPort& rows) {
    constexpr uint32_t kSequenceHeader = 16; // the atom's size and type, unit and pad
    return kSequenceHeader + uint32_t(rows.rowsPerPieceMax) * rowEventBytes(rows.floats);
}

// Ports: audio in (left, right; or the one channel), audio out (the same), the latency, the
// described control ports in their order, then an analyser's row port.
class PortLayout {
  public:
    PortLayout(const Description& description, int32_t channels)
        : channels_(uint32_t(channels)),
          controlCount_(static_cast<uint32_t>(description.ports.size())),
          hasRows_(description.rows != nullptr) {}
    uint32_t channels() const { return channels_; }
    uint32_t audioIn(int32_t channel) const { return uint32_t(channel); }
    uint32_t audioOut(int32_t channel) const { return channels_ + uint32_t(channel); }
    uint32_t latencyPort() const { return 2 * channels_; }
    uint32_t firstControlPort() const { return latencyPort() + 1; }
    uint32_t controlCount() const { return controlCount_; }
    // The row port's index (when the plug-in has one).
    uint32_t rowPort() const { return firstControlPort() + controlCount_; }
    uint32_t portCount() const { return rowPort() + (hasRows_ ? 1u : 0u); }

  private:
    uint32_t channels_;
    uint32_t controlCount_;
    bool hasRows_;
};

} // namespace orq::lv2
