// Counts orq reports about the audio a run reads and writes: input samples that are not finite
// numbers (the plug-in frame replaces each by 0, so the count is the frame's), and output
// samples at or over full scale.
#pragma once

#include "host/audio_file.h"

#include <cstdint>
#include <string>

namespace orq::host {

// Hands on another source's frames, counting the float samples that are NaN or infinite.
class NonFiniteCountingSource final : public AudioSource {
  public:
    explicit NonFiniteCountingSource(AudioSource& source) : source_(source) {}
    const StreamFormat& format() const override { return source_.format(); }
    int64_t read(void* bytes, int64_t frames) override;
    int64_t nonFinite() const { return nonFinite_; }

  private:
    AudioSource& source_;
    int64_t nonFinite_ = 0;
};

// Hands on frames to another sink, counting the samples at or over full scale: a float of
// magnitude 1 or more (or not a number), a 16-bit sample of ±32767 or −32768.
class FullScaleCountingSink final : public AudioSink {
  public:
    FullScaleCountingSink(AudioSink& sink, const StreamFormat& format)
        : sink_(sink), format_(format) {}
    void write(const void* bytes, int64_t frames) override;
    int64_t atFullScale() const { return atFullScale_; }

  private:
    AudioSink& sink_;
    StreamFormat format_;
    int64_t atFullScale_ = 0;
};

// "3 non-finite input samples replaced by 0\n" with what ("input", "reference"); empty for 0.
std::string nonFiniteLine(int64_t count, const std::string& what);
// "output: 5 samples at or over full scale; <advice>\n"; empty for 0.
std::string fullScaleLine(int64_t count, const std::string& advice);

} // namespace orq::host
