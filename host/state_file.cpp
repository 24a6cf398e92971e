#include "host/state_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orq::host {

namespace {

constexpr size_t kClassIdBytes = 16;

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(v >> shift));
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

bool isKnown(const CLSID& id) {
    static constexpr CLSID kNone{};
    return std::memcmp(&id, &kNone, sizeof id) != 0;
}

bool hasMagic(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= sizeof kStateMagic &&
           std::memcmp(bytes.data(), kStateMagic, sizeof kStateMagic) == 0;
}

// Walks the stream along the layout; an empty answer means it fits, else the reason it does not.
std::string layoutMismatch(const std::vector<uint8_t>& stream, const StreamLayout& layout) {
    if (stream.size() < sizeof(uint32_t)) return "it ends before its first setting";
    size_t at = sizeof(uint32_t);
    for (const PersistedParameter& p : layout) {
        if (p.isArray) {
            if (stream.size() - at < 8) return "it ends inside '" + p.key + "'";
            const uint32_t count = get32(stream.data() + at);
            const uint32_t elementSize = get32(stream.data() + at + 4);
            if (count != p.count || elementSize != p.elementSize)
                return "'" + p.key + "' holds " + std::to_string(count) + " elements of " +
                       std::to_string(elementSize) + " bytes, not " + std::to_string(p.count) +
                       " of " + std::to_string(p.elementSize);
            at += 8;
            const size_t bytes = size_t(count) * size_t(elementSize);
            if (stream.size() - at < bytes) return "it ends inside '" + p.key + "'";
            at += bytes;
        } else {
            if (stream.size() - at < 4) return "it ends inside '" + p.key + "'";
            at += 4;
        }
    }
    if (at != stream.size())
        return std::to_string(stream.size() - at) + " bytes follow the last setting";
    return {};
}

} // namespace

StateOrigin stateOriginOf(const PluginTarget& target) {
    return {target.filterClassId.value_or(CLSID{}), target.library.name};
}

StreamLayout streamLayoutOf(ParameterInterface* set, int32_t count) {
    StreamLayout layout;
    for (int32_t i = 0; i < count; ++i) {
        if (set->isPersisted(set, i) == 0) continue;
        PersistedParameter p;
        const char* key = set->keyName(set, i);
        p.key = key != nullptr ? key : "#" + std::to_string(i);
        int32_t n = 0, elementSize = 0;
        if (set->arrayInfo(set, i, &n, &elementSize) == 0) {
            p.isArray = true;
            p.count = uint32_t(std::max(n, 0));
            p.elementSize = uint32_t(std::max(elementSize, 0));
        }
        layout.push_back(std::move(p));
    }
    return layout;
}

std::vector<uint8_t> encodeStateFile(const StateOrigin& origin,
                                     const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> out(kStateMagic, kStateMagic + sizeof kStateMagic);
    out.reserve(kStateHeaderBytes + stream.size());
    put32(out, kStateFormatVersion);
    put32(out, origin.classId.Data1);
    put16(out, origin.classId.Data2);
    put16(out, origin.classId.Data3);
    out.insert(out.end(), origin.classId.Data4, origin.classId.Data4 + 8);
    std::vector<uint8_t> name(kStateNameBytes, 0);
    std::copy_n(origin.name.begin(), std::min(origin.name.size(), kStateNameBytes - 1),
                name.begin());
    out.insert(out.end(), name.begin(), name.end());
    put32(out, uint32_t(stream.size()));
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

void checkStreamLayout(const std::vector<uint8_t>& stream, const StreamLayout& layout) {
    if (const std::string why = layoutMismatch(stream, layout); !why.empty())
        throw StateFileError("damaged: " + why);
    size_t at = sizeof(uint32_t);
    for (const PersistedParameter& p : layout) {
        if (p.isArray) {
            at += 8 + size_t(p.count) * size_t(p.elementSize);
            continue;
        }
        float value;
        std::memcpy(&value, stream.data() + at, sizeof value);
        at += 4;
        if (!std::isfinite(value))
            throw StateFileError(std::string("it holds ") +
                                 (std::isnan(value) ? "not a number" : "an infinity") + " in '" +
                                 p.key + "'");
    }
}

std::vector<uint8_t> decodeStateFile(const std::vector<uint8_t>& bytes, const StateOrigin& loader,
                                     const StreamLayout& layout) {
    if (!hasMagic(bytes)) {
        // A bare persistent stream: taken only when every byte is where the plug-in's own
        // layout puts it; anything else (another plug-in's stream, audio, text) is no state.
        if (!layoutMismatch(bytes, layout).empty()) throw StateFileError("not a state file");
        checkStreamLayout(bytes, layout);
        return bytes;
    }
    if (bytes.size() < kStateHeaderBytes) throw StateFileError("damaged: its header is cut short");
    const uint8_t* p = bytes.data() + sizeof kStateMagic;
    const uint32_t version = get32(p);
    if (version != kStateFormatVersion)
        throw StateFileError("a state file of format " + std::to_string(version) +
                             ", which this orq does not read (it reads format " +
                             std::to_string(kStateFormatVersion) + ")");
    p += 4;
    StateOrigin saver;
    saver.classId.Data1 = get32(p);
    saver.classId.Data2 = get16(p + 4);
    saver.classId.Data3 = get16(p + 6);
    std::memcpy(saver.classId.Data4, p + 8, 8);
    p += kClassIdBytes;
    const auto* name = reinterpret_cast<const char*>(p);
    saver.name.assign(name, strnlen(name, kStateNameBytes));
    p += kStateNameBytes;
    const uint32_t payloadBytes = get32(p);
    const size_t follows = bytes.size() - kStateHeaderBytes;
    // Known class ids decide; a library run without registration has none, and then the names do.
    const bool same = isKnown(saver.classId) && isKnown(loader.classId)
                          ? std::memcmp(&saver.classId, &loader.classId, sizeof(CLSID)) == 0
                          : saver.name == loader.name;
    if (!same)
        throw StateFileError("it was saved by " +
                             (saver.name.empty() ? std::string("another plug-in") : saver.name) +
                             ", not " + loader.name);
    if (payloadBytes != follows)
        throw StateFileError("damaged: its header announces " + std::to_string(payloadBytes) +
                             " bytes of settings and " + std::to_string(follows) + " follow");
    std::vector<uint8_t> stream(bytes.begin() + kStateHeaderBytes, bytes.end());
    checkStreamLayout(stream, layout);
    return stream;
}

std::vector<uint8_t> readStateFile(const std::string& path) {
    // Opened without waiting (a FIFO would block), then judged by what was opened.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw StateFileError(std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw StateFileError(std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw StateFileError("it is a directory");
    if (!S_ISREG(info.st_mode)) throw StateFileError("not a state file (not a regular file)");
    if (size_t(info.st_size) > kStateFileBytesMax)
        throw StateFileError("not a state file (" + std::to_string(info.st_size) +
                             " bytes, more than any plug-in's settings)");
    std::vector<uint8_t> bytes(size_t(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw StateFileError(std::strerror(errno));
        if (n == 0) break; // shrank while being read
        done += size_t(n);
    }
    bytes.resize(done);
    return bytes;
}

} // namespace orq::host
