#include "host/audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orq::host {

namespace fs = std::filesystem;

const void* AudioData::data() const {
    return format == SampleFormat::Int16 ? static_cast<const void*>(int16.data()) : float32.data();
}
void* AudioData::data() {
    return format == SampleFormat::Int16 ? static_cast<void*>(int16.data()) : float32.data();
}
int32_t AudioData::bytesPerFrame() const {
    return channels * (format == SampleFormat::Int16 ? 2 : 4);
}

SampleFormat naturalFormat(int sndfileFormat) {
    switch (sndfileFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return SampleFormat::Int16;
    default:
        return SampleFormat::Float32;
    }
}

StreamFormat AudioData::streamFormat() const {
    return {channels, sampleRate, frames, format};
}

AudioFileReader::AudioFileReader(const std::string& path, const SampleFormat* forced)
    : path_(path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw std::runtime_error("cannot read '" + path + "': it is a directory");
    if (!S_ISREG(st.st_mode))
        throw std::runtime_error("cannot read '" + path + "': it is not a regular file");
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr)
        throw std::runtime_error("cannot read '" + path + "' as audio: " + sf_strerror(nullptr));
    format_.channels = info.channels;
    format_.sampleRate = info.samplerate;
    format_.frames = info.frames;
    format_.format = forced != nullptr ? *forced : naturalFormat(info.format);
    if (format_.format == SampleFormat::Float32)
        sf_command(file_, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    const int subformat = info.format & SF_FORMAT_SUBMASK;
    floatToInt16_ = format_.format == SampleFormat::Int16 &&
                    (subformat == SF_FORMAT_FLOAT || subformat == SF_FORMAT_DOUBLE);
    if (floatToInt16_) sf_command(file_, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
}

AudioFileReader::~AudioFileReader() {
    sf_close(file_);
}

int64_t AudioFileReader::read(void* bytes, int64_t frames) {
    const int64_t wanted = std::clamp<int64_t>(format_.frames - position_, 0, frames);
    if (wanted == 0) return 0;
    if (floatToInt16_) {
        const size_t samples = size_t(wanted) * size_t(format_.channels);
        floatScratch_.resize(samples);
        const sf_count_t got = sf_readf_float(file_, floatScratch_.data(), wanted);
        if (got != wanted)
            throw std::runtime_error("'" + path_ + "' ends before its stated length");
        auto* out = static_cast<int16_t*>(bytes);
        for (size_t i = 0; i < samples; ++i)
            out[i] = floatToInt16(floatScratch_[i]);
        position_ += got;
        return got;
    }
    const sf_count_t got = format_.format == SampleFormat::Int16
                               ? sf_readf_short(file_, static_cast<short*>(bytes), wanted)
                               : sf_readf_float(file_, static_cast<float*>(bytes), wanted);
    if (got != wanted) throw std::runtime_error("'" + path_ + "' ends before its stated length");
    position_ += got;
    return got;
}

bool AudioFileReader::rewind() {
    if (sf_seek(file_, 0, SEEK_SET) != 0)
        throw std::runtime_error("cannot go back to the start of '" + path_ + "': " +
                                 sf_strerror(file_));
    position_ = 0;
    return true;
}

AudioData readAudio(const std::string& path, const SampleFormat* forced) {
    AudioFileReader reader(path, forced);
    const StreamFormat& f = reader.format();
    AudioData audio;
    audio.channels = f.channels;
    audio.sampleRate = f.sampleRate;
    audio.frames = f.frames;
    audio.format = f.format;
    const size_t samples = size_t(f.frames) * size_t(std::max(f.channels, 0));
    if (audio.format == SampleFormat::Int16)
        audio.int16.resize(samples);
    else
        audio.float32.resize(samples);
    reader.read(audio.data(), f.frames);
    return audio;
}

int64_t MemorySource::read(void* bytes, int64_t frames) {
    const int64_t take = std::clamp<int64_t>(format_.frames - position_, 0, frames);
    const size_t bytesPerFrame = size_t(format_.bytesPerFrame());
    std::memcpy(bytes,
                static_cast<const uint8_t*>(audio_.data()) + size_t(position_) * bytesPerFrame,
                size_t(take) * bytesPerFrame);
    position_ += take;
    return take;
}

MemorySink::MemorySink(const StreamFormat& format) {
    audio_.channels = format.channels;
    audio_.sampleRate = format.sampleRate;
    audio_.format = format.format;
}

void MemorySink::write(const void* bytes, int64_t frames) {
    const size_t samples = size_t(frames) * size_t(audio_.channels);
    if (audio_.format == SampleFormat::Int16) {
        const auto* p = static_cast<const int16_t*>(bytes);
        audio_.int16.insert(audio_.int16.end(), p, p + samples);
    } else {
        const auto* p = static_cast<const float*>(bytes);
        audio_.float32.insert(audio_.float32.end(), p, p + samples);
    }
    audio_.frames += frames;
}

std::vector<uint8_t> readFileBytes(const std::string& path, const std::string& role) {
    auto fail = [&](const std::string& why) {
        return std::runtime_error("reading " + role + " '" + path + "': " + why);
    };
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw fail(std::strerror(errno));
    std::vector<uint8_t> bytes;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = errno;
        close(fd);
        if (S_ISDIR(st.st_mode)) throw fail("it is a directory");
        throw fail(st.st_mode != 0 ? "it is not a regular file" : std::strerror(e));
    }
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            close(fd);
            throw fail(std::strerror(e));
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    close(fd);
    return bytes;
}

} // namespace orq::host
