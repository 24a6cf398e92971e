// Drives an AudioTransformFilter around the pass-through test plug-in the way a host does.
#pragma once

#include "host/filter_graph.h"
#include "runtime/audio_transform_filter.h"
#include "testplugins/passthrough_plugin.h"

#include <vector>

namespace orq::test {

constexpr CLSID kTestFilterId = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr CLSID kTestPageId = {0x11111112, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};

AudioFormat waveFormat(uint16_t tag, uint16_t bits, uint16_t channels, uint32_t rate = 44100);
CMediaType audioType(const AudioFormat& format);

// A filter with a connected source and sink; samples are pushed one media sample at a time.
class FrameRig {
  public:
    // Around the pass-through test plug-in with the given latency.
    FrameRig(float latencyFrames, const AudioFormat& format);
    // Around any plug-in (the rig takes it over).
    FrameRig(const AudioFormat& format, AudioPlugin* plugin);
    ~FrameRig();
    AudioTransformFilter& filter() { return *filter_; }
    PluginRecord* record() { return filter_->Record(); }
    // Pushes interleaved bytes as one media sample; the filter's output collects in delivered().
    void push(const std::vector<uint8_t>& bytes);
    const std::vector<uint8_t>& delivered() const { return delivered_; }
    void clearDelivered() {
        delivered_.clear();
        lengths_.clear();
    }
    std::vector<long> deliveredLengths() const { return lengths_; }
    void endOfStream();
    bool connected() const { return connected_; }

  private:
    AudioTransformFilter* filter_;
    AudioFormat format_;
    host::SourcePin source_;
    host::SinkPin sink_;
    CMemAllocator* allocator_ = nullptr;
    IPin* input_ = nullptr;
    IPin* output_ = nullptr;
    IMemInputPin* memInput_ = nullptr;
    std::vector<uint8_t> delivered_;
    std::vector<long> lengths_;
    bool connected_ = false;
};

template <class T> std::vector<uint8_t> bytesOf(const std::vector<T>& values) {
    const auto* p = reinterpret_cast<const uint8_t*>(values.data());
    return {p, p + values.size() * sizeof(T)};
}
template <class T> std::vector<T> valuesOf(const std::vector<uint8_t>& bytes) {
    std::vector<T> values(bytes.size() / sizeof(T));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
    return values;
}

} // namespace orq::test
