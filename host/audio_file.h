// Reading and writing audio files (anything libsndfile reads) as interleaved 16-bit or float
// frames, whole or piece by piece.
#pragma once

#include "runtime/sample_conversion.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

namespace orq::host {

// The shape of a stream of interleaved frames.
struct StreamFormat {
    int32_t channels = 0;
    int32_t sampleRate = 0;
    int64_t frames = 0;
    SampleFormat format = SampleFormat::Int16;
    int32_t bytesPerFrame() const { return channels * (format == SampleFormat::Int16 ? 2 : 4); }
};

// A whole file in memory (the demo mix, tests).
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
    StreamFormat streamFormat() const;
};

// Frames handed out piece by piece, in the stream's sample format.
class AudioSource {
  public:
    virtual ~AudioSource() = default;
    virtual const StreamFormat& format() const = 0;
    // Fills bytes with the next frames (at most frames); returns how many, 0 at the end. Throws
    // with one clear line when the stream ends before its stated length.
    virtual int64_t read(void* bytes, int64_t frames) = 0;
    // Starts the stream over from its first frame; false when this source cannot. Throws with
    // one clear line when it fails.
    virtual bool rewind() { return false; }
};

// Takes frames piece by piece. Throws with one clear line on failure.
class AudioSink {
  public:
    virtual ~AudioSink() = default;
    virtual void write(const void* bytes, int64_t frames) = 0;
};

// The sample format a file is processed in by default: 16-bit for integer files of 16 bits or
// less, float otherwise.
SampleFormat naturalFormat(int sndfileFormat);

// An audio file read piece by piece; memory does not grow with the file.
class AudioFileReader final : public AudioSource {
  public:
    // Throws std::runtime_error with one clear line when the file cannot be read as audio.
    AudioFileReader(const std::string& path, const SampleFormat* forced);
    ~AudioFileReader() override;
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;
    const StreamFormat& format() const override { return format_; }
    int64_t read(void* bytes, int64_t frames) override;
    bool rewind() override;

  private:
    std::string path_;
    sf_private_tag* file_ = nullptr;
    StreamFormat format_;
    int64_t position_ = 0;
    // Float or double samples read as 16-bit: libsndfile would truncate them without scaling
    // (a full-scale float becomes ±1), so they are read as float and converted here.
    bool floatToInt16_ = false;
    std::vector<float> floatScratch_;
};

// An audio file written piece by piece into a temporary file beside path; commit() renames it
// over path. Destroyed without commit (a failed run), it removes the temporary file, so path
// is never left half written. One output of OutputFiles (host/output_files.h), which a command
// writing more than one file uses instead.
class AudioFileWriter final : public AudioSink {
  public:
    // Throws when the container cannot hold the format or the folder cannot be written.
    AudioFileWriter(const std::string& path, const StreamFormat& format);
    ~AudioFileWriter() override;
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;
    void write(const void* bytes, int64_t frames) override;
    void commit();

  private:
    struct Output;
    std::string path_;
    std::unique_ptr<Output> output_;
};

// An AudioData read piece by piece.
class MemorySource final : public AudioSource {
  public:
    explicit MemorySource(const AudioData& audio) : audio_(audio), format_(audio.streamFormat()) {}
    const StreamFormat& format() const override { return format_; }
    int64_t read(void* bytes, int64_t frames) override;
    bool rewind() override {
        position_ = 0;
        return true;
    }

  private:
    const AudioData& audio_;
    StreamFormat format_;
    int64_t position_ = 0;
};

// Collects the frames into an AudioData of the given format.
class MemorySink final : public AudioSink {
  public:
    explicit MemorySink(const StreamFormat& format);
    void write(const void* bytes, int64_t frames) override;
    AudioData& audio() { return audio_; }

  private:
    AudioData audio_;
};

// Drops the frames (an analyser run without an audio output).
class DiscardSink final : public AudioSink {
  public:
    void write(const void*, int64_t) override {}
};

// Throws std::runtime_error with one clear line on failure.
AudioData readAudio(const std::string& path, const SampleFormat* forced);
// Writes through a temporary file in the same folder, renamed over path at the end.
void writeAudio(const std::string& path, const AudioData& audio);
// Writes bytes to path through a temporary file renamed at the end.
void writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
// The whole of a regular file. Throws with one line naming the file and what it is for
// ("reading the state '/x': it is a directory").
std::vector<uint8_t> readFileBytes(const std::string& path, const std::string& role = "the file");

} // namespace orq::host
