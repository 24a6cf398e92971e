#include "testplugins/passthrough_plugin.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace orq {

namespace {

constexpr int32_t kLatencyMaxFrames = 1 << 20;
constexpr int32_t kChannelsMax = 2;

const ParameterDef kParameters[] = {
    {"Latency", kKindFloat, 0.0f, 0, 0, "Delay in frames"},
    {"Gain", kKindFloat, 1.0f, 0, 0, "Linear gain"},
    {nullptr, kKindFloat, 0.0f, 0, 0, "Output peak since the last read"},
};
const ParameterTable kTable{fourCC("Qpth"), "Orq Passthrough", kParameters};

class PassthroughPlugin final : public AudioPlugin {
  public:
    PassthroughPlugin(ParameterSet* parameters, HostCallback host, void* context)
        : AudioPlugin({1, fourCC("Qpth"), "Orq Passthrough"}, parameters, host, context) {}

    // [audio-thread] no allocation: a ring delay per channel.
    int32_t process(AudioBuffers& buffers) override {
        EnterCriticalSection(&lock());
        const int32_t frames = buffers.frames;
        for (int32_t c = 0; c < channels_; ++c) {
            float* out = buffers.outputs()[c];
            run(c, buffers.inputs()[c], out, frames);
            for (int32_t i = 0; i < frames; ++i)
                outputPeak_ = std::max(outputPeak_, std::fabs(out[i]));
        }
        LeaveCriticalSection(&lock());
        return frames;
    }
    int32_t processReplacing(AudioBuffers&) override { return kStatusNotSupported5; }

    // [ui-thread] lock held; a new latency re-sizes the delay rings.
    void loadSettings(ParameterInterface* store) override {
        copySelectedFromStore(parameters(), store);
        applyGain();
        applyLatency();
    }
    // The peak meter is read once: it starts again from zero.
    void saveSettings(ParameterInterface* store) override {
        auto& set = static_cast<TableParameterSet&>(parameters());
        set.setValue(kPassthroughOutputPeakIndex, outputPeak_);
        if (store->isSelectedForWrite(store, kPassthroughOutputPeakIndex) != 0) outputPeak_ = 0.0f;
        writeSelectedToStore(parameters(), store);
    }

    // [ui-thread] allocates the delay rings.
    int32_t open(OpenFormat& format) override {
        if (format.channels < 1 || format.channels > kChannelsMax) return kStatusChannelsRefused;
        channels_ = format.channels;
        applyGain();
        applyLatency();
        return 0;
    }
    int32_t close() override { return 0; }
    int32_t start() override {
        for (auto& ring : rings_)
            std::fill(ring.begin(), ring.end(), 0.0f);
        position_ = 0;
        return 0;
    }
    // Hands the delayed remainder to a host that takes tails.
    int32_t stop() override {
        if (hostRequest(kRequestHostMode, 0, nullptr) != kHostModeTakesTail || latencyFrames_ == 0)
            return 0;
        std::vector<std::vector<float>> tail(size_t(channels_),
                                             std::vector<float>(size_t(latencyFrames_), 0.0f));
        std::array<float*, kChannelsMax> pointers{};
        for (int32_t c = 0; c < channels_; ++c) {
            const int32_t savedPosition = position_;
            run(c, tail[size_t(c)].data(), tail[size_t(c)].data(), latencyFrames_);
            if (c + 1 < channels_) position_ = savedPosition;
            pointers[size_t(c)] = tail[size_t(c)].data();
        }
        TailRecord record{pointers.data(), latencyFrames_, channels_, 0};
        return hostRequest(kRequestTake, 0, &record) == 0 ? kStatusTailNotTaken : 0;
    }
    int32_t checkFormat(int32_t channels, int32_t* outputChannels, int32_t*,
                        int32_t* extra) override {
        if (outputChannels != nullptr) *outputChannels = channels;
        if (extra != nullptr) *extra = 0;
        return channels >= 1 && channels <= kChannelsMax ? 0 : kStatusChannelsRefused;
    }
    int32_t latency() override { return latencyFrames_; }
    // [any-thread] lock held: bypassed, the delayed input passes at unit gain.
    void setBypassWithDelay(float value) override { bypassed_ = value != 0.0f; }
    float compatFloatQuery() override { return -1.0f; }

  private:
    void applyLatency() {
        auto& set = static_cast<TableParameterSet&>(parameters());
        const float requested = set.value(kPassthroughLatencyIndex);
        latencyFrames_ =
            std::isfinite(requested) ? std::clamp(int32_t(requested), 0, kLatencyMaxFrames) : 0;
        for (auto& ring : rings_)
            ring.assign(size_t(latencyFrames_) + 1, 0.0f);
        position_ = 0;
    }
    void applyGain() {
        auto& set = static_cast<TableParameterSet&>(parameters());
        const float g = set.value(kPassthroughGainIndex);
        gain_ = std::isfinite(g) ? g : 1.0f;
    }
    // y[n] = gain · x[n − latency] (gain 1 while bypassed); the last channel advances the shared
    // position.
    void run(int32_t channel, const float* in, float* out, int32_t frames) {
        std::vector<float>& ring = rings_[size_t(channel)];
        const int32_t length = int32_t(ring.size());
        int32_t p = position_;
        for (int32_t i = 0; i < frames; ++i) {
            ring[size_t(p)] = in[i];
            int32_t read = p - latencyFrames_;
            if (read < 0) read += length;
            out[i] = bypassed_ ? ring[size_t(read)] : gain_ * ring[size_t(read)];
            if (++p == length) p = 0;
        }
        if (channel == channels_ - 1) position_ = p;
    }

    int32_t channels_ = 2;
    int32_t latencyFrames_ = 0;
    float gain_ = 1.0f;
    bool bypassed_ = false;
    float outputPeak_ = 0.0f;
    int32_t position_ = 0;
    std::array<std::vector<float>, kChannelsMax> rings_;
};

} // namespace

const ParameterTable& passthroughParameterTable() {
    return kTable;
}
ParameterSet* createPassthroughParameters() {
    return new TableParameterSet(kTable);
}
AudioPlugin* createPassthroughPlugin(ParameterSet* parameters, HostCallback host, void* context) {
    return new PassthroughPlugin(parameters, host, context);
}

} // namespace orq
