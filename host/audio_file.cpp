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
    if (!S_ISREG(st.st_mode)) throw std::runtime_error("'" + path + "' is not a regular file");
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

namespace {

int containerFor(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".wav") return SF_FORMAT_WAV;
    if (ext == ".flac") return SF_FORMAT_FLAC;
    if (ext == ".aif" || ext == ".aiff") return SF_FORMAT_AIFF;
    if (ext == ".caf") return SF_FORMAT_CAF;
    if (ext == ".w64") return SF_FORMAT_W64;
    throw std::runtime_error("cannot tell the audio file type of '" + path +
                             "' (use .wav, .flac, .aiff, .caf or .w64)");
}

std::string temporaryBeside(const std::string& path) {
    fs::path p(path);
    fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::string pattern = (dir / ("." + p.filename().string() + ".orq-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0)
        throw std::runtime_error("cannot write in '" + dir.string() + "': " + std::strerror(errno));
    close(fd);
    return std::string(name.data());
}

void renameOver(const std::string& temporary, const std::string& path) {
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int e = errno;
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot write '" + path + "': " + std::strerror(e));
    }
}

} // namespace

AudioFileWriter::AudioFileWriter(const std::string& path, const StreamFormat& format)
    : path_(path), format_(format.format) {
    const int container = containerFor(path);
    SF_INFO info{};
    info.channels = format.channels;
    info.samplerate = format.sampleRate;
    info.format =
        container | (format.format == SampleFormat::Int16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
    // A container without float samples (FLAC) keeps float output as 24-bit PCM.
    if (format.format == SampleFormat::Float32 && !sf_format_check(&info))
        info.format = container | SF_FORMAT_PCM_24;
    if (!sf_format_check(&info))
        throw std::runtime_error("'" + path + "' cannot hold " +
                                 (format.format == SampleFormat::Int16 ? "16-bit" : "float") +
                                 " samples");
    temporary_ = temporaryBeside(path);
    file_ = sf_open(temporary_.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        std::remove(temporary_.c_str());
        throw std::runtime_error("cannot write '" + path + "': " + sf_strerror(nullptr));
    }
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE); // float beyond full scale saturates
}

AudioFileWriter::~AudioFileWriter() {
    if (file_ == nullptr) return;
    sf_close(file_);
    std::remove(temporary_.c_str());
}

void AudioFileWriter::write(const void* bytes, int64_t frames) {
    const sf_count_t put = format_ == SampleFormat::Int16
                               ? sf_writef_short(file_, static_cast<const short*>(bytes), frames)
                               : sf_writef_float(file_, static_cast<const float*>(bytes), frames);
    if (put != frames) throw std::runtime_error("cannot write '" + path_ + "' (disk full?)");
}

void AudioFileWriter::commit() {
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) {
        std::remove(temporary_.c_str());
        throw std::runtime_error("cannot write '" + path_ + "' (disk full?)");
    }
    chmod(temporary_.c_str(), 0644);
    renameOver(temporary_, path_);
}

void writeAudio(const std::string& path, const AudioData& audio) {
    AudioFileWriter writer(path, audio.streamFormat());
    writer.write(audio.data(), audio.frames);
    writer.commit();
}

AtomicFile::AtomicFile(const std::string& path) : path_(path), temporary_(temporaryBeside(path)) {
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) {
        const int e = errno;
        std::remove(temporary_.c_str());
        throw std::runtime_error("cannot write '" + path + "': " + std::strerror(e));
    }
}

AtomicFile::~AtomicFile() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    std::remove(temporary_.c_str());
}

void AtomicFile::write(const void* bytes, size_t size) {
    if (std::fwrite(bytes, 1, size, file_) != size)
        throw std::runtime_error("cannot write '" + path_ + "' (disk full?)");
}

void AtomicFile::commit() {
    const bool failed = std::fflush(file_) != 0 || std::ferror(file_) != 0;
    const bool closeFailed = std::fclose(file_) != 0;
    file_ = nullptr;
    if (failed || closeFailed) {
        std::remove(temporary_.c_str());
        throw std::runtime_error("cannot write '" + path_ + "' (disk full?)");
    }
    chmod(temporary_.c_str(), 0644);
    renameOver(temporary_, path_);
}

void refuseSameFile(const std::string& input, const std::string& output) {
    std::error_code ec;
    if (fs::exists(output, ec) && fs::equivalent(input, output, ec))
        throw std::runtime_error("the output '" + output +
                                 "' is the input; choose another output file");
    if (fs::weakly_canonical(input, ec) == fs::weakly_canonical(output, ec))
        throw std::runtime_error("the output '" + output +
                                 "' is the input; choose another output file");
}

void writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    AtomicFile file(path);
    file.write(bytes.data(), bytes.size());
    file.commit();
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace orq::host
