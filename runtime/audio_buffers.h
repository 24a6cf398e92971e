// The stream's wave format and the multi-channel float block the frame hands to a plug-in.
#pragma once

#include <cstdint>

namespace orq {

// The Windows wave format record as it arrives in a media type (little-endian, packed).
#pragma pack(push, 2)
struct AudioFormat {
    uint16_t formatTag;     // 1 = integer PCM, 3 = IEEE float
    uint16_t channels;      // interleaved channels
    uint32_t samplesPerSec; // sample rate in Hz
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;    // bytes per frame
    uint16_t bitsPerSample; // 16 or 32
};
#pragma pack(pop)
static_assert(sizeof(AudioFormat) == 16);

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;

// {sampleRate, channels, extra}: the argument of dispatcher commands 3 and 5.
struct OpenFormat {
    int32_t sampleRate;
    int32_t channels;
    int32_t extra;
};

enum class BufferLayout : int32_t { Shared = 1, Separate = 2 };

// Per-channel float arrays, all carved from one allocation. With the shared layout the
// outputs are the inputs (processing is in place).
class AudioBuffers {
  public:
    // [ui-thread] allocates.
    AudioBuffers(int32_t inputChannels, int32_t outputChannels, int32_t capacity,
                 BufferLayout layout, int32_t sampleRate = 44100);
    // A view over a caller's interleaved PCM (the raw in-place path): inputs()[0] and
    // outputs()[0] point at the raw input and output bytes; nothing is owned.
    static constexpr struct RawTag {
    } kRaw{};
    AudioBuffers(RawTag, void* rawInput, void* rawOutput, int32_t frames);
    ~AudioBuffers();
    bool isRaw() const { return raw_; }
    AudioBuffers(const AudioBuffers&) = delete;
    AudioBuffers& operator=(const AudioBuffers&) = delete;

    float** inputs() { return inputs_; }
    // The separate outputs, or the inputs for the shared layout.
    float** outputs() { return outputs_ != nullptr ? outputs_ : inputs_; }
    // [any-thread] 0 when frames exceeds the capacity; otherwise sets the valid frame counts.
    int32_t setFrames(int32_t frames);

    int32_t sampleRate;
    int32_t inputChannels;
    int32_t outputChannels;
    int32_t capacity;
    int32_t frames = 0;
    int32_t outputFrames = 0;
    BufferLayout layout;

  private:
    float** inputs_ = nullptr;
    float** outputs_ = nullptr;
    float* storage_ = nullptr;
    float* rawPointers_[2] = {};
    bool raw_ = false;
};

} // namespace orq
