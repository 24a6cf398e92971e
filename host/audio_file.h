// Reading and writing audio files (anything libsndfile reads) as interleaved 16-bit or float
// frames.
#pragma once

#include "runtime/sample_conversion.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orq::host {

struct AudioData {
    int32_t channels = 0;
    int32_t sampleRate = 0;
    int64_t frames = 0;
    SampleFormat format = SampleFormat::Int16;
    std::vector<int16_t> int16; // interleaved, when format is Int16
    std::vector<float> float32; // interleaved, when format is Float32
    const void* data() const;
    void* data();
    int32_t bytesPerFrame() const;
};

// The sample format a file is processed in by default: 16-bit for integer files of 16 bits or
// less, float otherwise.
SampleFormat naturalFormat(int sndfileFormat);

// Throws std::runtime_error with one clear line on failure.
AudioData readAudio(const std::string& path, const SampleFormat* forced);
// Writes through a temporary file in the same folder, renamed over path at the end.
void writeAudio(const std::string& path, const AudioData& audio);
// Throws when output names the same file as input.
void refuseSameFile(const std::string& input, const std::string& output);
// Writes bytes to path through a temporary file renamed at the end.
void writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFileBytes(const std::string& path);

} // namespace orq::host
