// Drops a plug-in's latency from the start of a stream: the first `latency` produced frames
// are not passed on.
#pragma once

#include <algorithm>
#include <cstdint>

namespace orq {

class LatencySkip {
  public:
    void start(int32_t latencyFrames) {
        latencyFrames_ = latencyFrames;
        processedFrames_ = 0;
        skipping_ = latencyFrames > 0;
    }
    // Frames to drop from the start of the next produced frames; counts them as processed.
    int32_t skipFor(int32_t produced) {
        int32_t skip = 0;
        if (skipping_) {
            if (processedFrames_ + produced >= latencyFrames_) {
                skipping_ = false;
                skip = int32_t(std::max<int64_t>(0, latencyFrames_ - processedFrames_));
            } else {
                skip = produced;
            }
        }
        processedFrames_ += produced;
        return skip;
    }
    int32_t latencyFrames() const { return latencyFrames_; }

  private:
    int32_t latencyFrames_ = 0;
    int64_t processedFrames_ = 0;
    bool skipping_ = false;
};

} // namespace orq
