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

AudioData readAudio(const std::string& path, const SampleFormat* forced) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw std::runtime_error("'" + path + "' is not a regular file");
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        throw std::runtime_error("cannot read '" + path + "' as audio: " + sf_strerror(nullptr));
    AudioData audio;
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.frames = info.frames;
    audio.format = forced != nullptr ? *forced : naturalFormat(info.format);
    const size_t samples = size_t(info.frames) * size_t(std::max(info.channels, 0));
    sf_count_t got = 0;
    if (audio.format == SampleFormat::Int16) {
        audio.int16.resize(samples);
        got = sf_readf_short(file, audio.int16.data(), info.frames);
    } else {
        audio.float32.resize(samples);
        sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
        got = sf_readf_float(file, audio.float32.data(), info.frames);
    }
    sf_close(file);
    if (got != info.frames)
        throw std::runtime_error("'" + path + "' ends before its stated length");
    return audio;
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

void writeAudio(const std::string& path, const AudioData& audio) {
    const int container = containerFor(path);
    SF_INFO info{};
    info.channels = audio.channels;
    info.samplerate = audio.sampleRate;
    info.format =
        container | (audio.format == SampleFormat::Int16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
    // A container without float samples (FLAC) keeps float output as 24-bit PCM.
    if (audio.format == SampleFormat::Float32 && !sf_format_check(&info))
        info.format = container | SF_FORMAT_PCM_24;
    if (!sf_format_check(&info))
        throw std::runtime_error("'" + path + "' cannot hold " +
                                 (audio.format == SampleFormat::Int16 ? "16-bit" : "float") +
                                 " samples");
    const std::string temporary = temporaryBeside(path);
    SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot write '" + path + "': " + sf_strerror(nullptr));
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE); // float beyond full scale saturates
    sf_count_t put = audio.format == SampleFormat::Int16
                         ? sf_writef_short(file, audio.int16.data(), audio.frames)
                         : sf_writef_float(file, audio.float32.data(), audio.frames);
    const int closed = sf_close(file);
    if (put != audio.frames || closed != 0) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot write '" + path + "' (disk full?)");
    }
    chmod(temporary.c_str(), 0644);
    renameOver(temporary, path);
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
    const std::string temporary = temporaryBeside(path);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            throw std::runtime_error("cannot write '" + path + "'");
        }
    }
    chmod(temporary.c_str(), 0644);
    renameOver(temporary, path);
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace orq::host
