#include "host/output_files.h"

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orq::host {

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------------
// Temporary files removed when a signal ends the process. The handler may run on any thread
// while another one registers or releases a file, so each slot is guarded by a sequence number
// that is odd while the slot changes: the handler copies the path and uses it only when the
// number was even and unchanged around the copy.

constexpr int kCleanupSlots = 64;
constexpr size_t kCleanupPathBytes = 4096;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

struct CleanupSlot {
    std::atomic<unsigned> sequence{0};
    std::atomic<bool> live{false};
    std::atomic<bool> taken{false}; // owned by a registration (changed only by its thread)
    char path[kCleanupPathBytes] = {};
};
CleanupSlot cleanupSlots[kCleanupSlots];

extern "C" void removeTemporariesAndDie(int signal) {
    for (CleanupSlot& slot : cleanupSlots) {
        const unsigned before = slot.sequence.load(std::memory_order_acquire);
        if ((before & 1u) != 0 || !slot.live.load(std::memory_order_acquire)) continue;
        char path[kCleanupPathBytes];
        size_t i = 0;
        for (; i + 1 < kCleanupPathBytes && slot.path[i] != '\0'; ++i)
            path[i] = slot.path[i];
        path[i] = '\0';
        std::atomic_thread_fence(std::memory_order_acquire);
        if (slot.sequence.load(std::memory_order_relaxed) == before) unlink(path);
    }
    // The handler was installed with SA_RESETHAND: the signal's own action ends the process.
    raise(signal);
}

void installCleanupHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signal : kCleanupSignals) {
            struct sigaction previous {};
            if (sigaction(signal, nullptr, &previous) != 0) continue;
            if (previous.sa_handler == SIG_IGN) continue; // ignored (nohup): stays ignored
            struct sigaction action {};
            action.sa_handler = removeTemporariesAndDie;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            sigaction(signal, &action, nullptr);
        }
    });
}

// Registers path for removal on a signal; returns its slot.
int registerTemporary(const std::string& path) {
    installCleanupHandler();
    if (path.size() >= kCleanupPathBytes)
        throw std::runtime_error("the path '" + path + "' is too long");
    for (int i = 0; i < kCleanupSlots; ++i) {
        CleanupSlot& slot = cleanupSlots[i];
        bool expected = false;
        if (!slot.taken.compare_exchange_strong(expected, true)) continue;
        slot.sequence.fetch_add(1, std::memory_order_acq_rel); // odd: changing
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.live.store(true, std::memory_order_release);
        slot.sequence.fetch_add(1, std::memory_order_acq_rel); // even: stable
        return i;
    }
    throw std::runtime_error("too many files written at once");
}

void releaseTemporary(int index) {
    if (index < 0) return;
    CleanupSlot& slot = cleanupSlots[index];
    slot.live.store(false, std::memory_order_release);
    slot.taken.store(false, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------

std::string inQuotes(const std::string& path) {
    return "'" + path + "'";
}

std::runtime_error failure(const std::string& role, const std::string& path,
                           const std::string& why) {
    return std::runtime_error("writing " + role + " " + inQuotes(path) + ": " + why);
}

// What makes two paths one file: an existing file's device and inode, or a new file's folder
// (device and inode) and name.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    std::string name; // empty for an existing file
    mode_t type = 0;  // S_IFMT bits of an existing file, 0 for a new one
    bool operator==(const Identity& o) const {
        return device == o.device && inode == o.inode && name == o.name;
    }
};

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// The identity of path, or the errno that keeps it from having one (its folder is missing).
std::optional<Identity> identityOf(const std::string& path, int* error) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        return Identity{st.st_dev, st.st_ino, {}, st.st_mode & S_IFMT};
    if (errno != ENOENT) {
        *error = errno;
        return std::nullopt;
    }
    const std::string folder = folderOf(path);
    if (stat(folder.c_str(), &st) != 0) {
        *error = errno;
        return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = ENOTDIR;
        return std::nullopt;
    }
    return Identity{st.st_dev, st.st_ino, fs::path(path).filename().string(), 0};
}

int containerFor(const std::string& path, const std::string& role) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".wav") return SF_FORMAT_WAV;
    if (ext == ".flac") return SF_FORMAT_FLAC;
    if (ext == ".aif" || ext == ".aiff") return SF_FORMAT_AIFF;
    if (ext == ".caf") return SF_FORMAT_CAF;
    if (ext == ".w64") return SF_FORMAT_W64;
    throw failure(role, path,
                  "cannot tell the audio file type (use .wav, .flac, .aiff, .caf or .w64)");
}

bool writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

constexpr size_t kWriteBufferBytes = 64 * 1024;

// Audio encoded by libsndfile into the temporary file's descriptor.
class SndfileSink final : public AudioSink {
  public:
    SndfileSink(int fd, int container, const std::string& role, const std::string& path,
                const StreamFormat& format)
        : role_(role), path_(path), format_(format.format) {
        SF_INFO info{};
        info.channels = format.channels;
        info.samplerate = format.sampleRate;
        info.format =
            container | (format.format == SampleFormat::Int16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
        // A container without float samples (FLAC) keeps float output as 24-bit PCM.
        if (format.format == SampleFormat::Float32 && !sf_format_check(&info))
            info.format = container | SF_FORMAT_PCM_24;
        if (!sf_format_check(&info))
            throw std::runtime_error(inQuotes(path) + " cannot hold " +
                                     (format.format == SampleFormat::Int16 ? "16-bit" : "float") +
                                     " samples");
        file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
        if (file_ == nullptr) throw failure(role, path, sf_strerror(nullptr));
        sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE); // float beyond full scale saturates
    }
    ~SndfileSink() override {
        if (file_ != nullptr) sf_close(file_);
    }
    void write(const void* bytes, int64_t frames) override {
        if (file_ == nullptr) throw failure(role_, path_, "written after it was finished");
        errno = 0;
        const sf_count_t put =
            format_ == SampleFormat::Int16
                ? sf_writef_short(file_, static_cast<const short*>(bytes), frames)
                : sf_writef_float(file_, static_cast<const float*>(bytes), frames);
        if (put != frames) throw failure(role_, path_, reason());
    }
    void finish() {
        if (file_ == nullptr) return;
        errno = 0;
        const int closed = sf_close(file_);
        file_ = nullptr;
        if (closed != 0) throw failure(role_, path_, reason());
    }

  private:
    std::string reason() const {
        if (errno != 0) return std::strerror(errno);
        return file_ != nullptr ? sf_strerror(file_) : "the audio library failed";
    }
    std::string role_, path_;
    SampleFormat format_;
    SNDFILE* file_ = nullptr;
};

} // namespace

struct OutputFiles::Entry {
    std::string path; // as the user gave it
    std::string role;
    bool isOutput = false;
    std::optional<Identity> identity;
    // Outputs only:
    OutputKind kind = OutputKind::Bytes;
    int container = 0;
    std::string target;   // the file put in place: path, or the file a symbolic link names
    bool through = false; // an existing device or FIFO: written into, never replaced
    mode_t mode = 0;      // permissions of the file put in place
    std::string temporary;
    int fd = -1;
    int slot = -1;
    std::unique_ptr<SndfileSink> audio;
    std::string buffer; // bytes not yet written to fd
    bool done = false;  // in place

    void flush() {
        if (buffer.empty()) return;
        errno = 0;
        if (!writeAll(fd, buffer.data(), buffer.size()))
            throw failure(role, path, errno != 0 ? std::strerror(errno) : "nothing was written");
        buffer.clear();
    }
    void removeTemporary() {
        audio.reset();
        if (fd >= 0) close(fd);
        fd = -1;
        if (!temporary.empty() && !done) unlink(temporary.c_str());
        releaseTemporary(slot);
        slot = -1;
    }
};

OutputFiles::OutputFiles() = default;

OutputFiles::~OutputFiles() {
    for (const std::unique_ptr<Entry>& e : entries_)
        if (e->isOutput) e->removeTemporary();
}

void OutputFiles::addInput(const std::string& path, const std::string& role) {
    auto entry = std::make_unique<Entry>();
    entry->path = path;
    entry->role = role;
    int error = 0;
    entry->identity = identityOf(path, &error); // none: it cannot be read, as its reader says
    if (entry->identity) {
        for (const std::unique_ptr<Entry>& e : entries_)
            if (e->isOutput && e->identity == entry->identity && e->identity->type != S_IFCHR)
                throw std::runtime_error(e->role + " " + inQuotes(e->path) + " is " + role +
                                         (e->path == path ? "" : " " + inQuotes(path)) +
                                         "; choose another file");
    }
    entries_.push_back(std::move(entry));
}

void OutputFiles::add(const std::string& path, const std::string& role, OutputKind kind) {
    auto entry = std::make_unique<Entry>();
    Entry& e = *entry;
    e.path = path;
    e.role = role;
    e.isOutput = true;
    e.kind = kind;
    if (path.empty()) throw std::runtime_error(role + " has an empty file name");
    if (path.back() == '/') throw failure(role, path, "it names a folder");
    if (kind == OutputKind::Audio) e.container = containerFor(path, role);
    int error = 0;
    e.identity = identityOf(path, &error);
    if (!e.identity)
        throw failure(role, path,
                      "cannot write in " + inQuotes(folderOf(path)) + ": " + std::strerror(error));
    const mode_t type = e.identity->type;
    for (const std::unique_ptr<Entry>& other : entries_) {
        // Writing a character device twice loses nothing; every other shared file would.
        if (other->identity != e.identity || type == S_IFCHR) continue;
        throw std::runtime_error(role + " " + inQuotes(path) + " is " + other->role +
                                 (other->path == path ? "" : " " + inQuotes(other->path)) +
                                 "; choose another file");
    }
    if (type == S_IFDIR) throw failure(role, path, "it is a directory");
    if (type != 0 && type != S_IFREG && type != S_IFCHR && type != S_IFIFO)
        throw failure(role, path, "it is not a regular file");
    e.through = type == S_IFCHR || type == S_IFIFO;
    if (e.through && access(path.c_str(), W_OK) != 0)
        throw failure(role, path, std::strerror(errno));
    e.target = path;
    std::error_code ec;
    if (type == S_IFREG && fs::is_symlink(path, ec)) {
        e.target = fs::canonical(path, ec).string();
        if (ec) throw failure(role, path, ec.message());
    }
    struct stat st {};
    if (type == S_IFREG && stat(e.target.c_str(), &st) == 0) {
        e.mode = st.st_mode & 0777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        e.mode = 0666 & ~mask;
    }

    // The temporary file: beside the target, so that the rename stays on its file system; in
    // the temporary folder for a file written through.
    const std::string folder =
        e.through ? fs::temp_directory_path(ec).string() : folderOf(e.target);
    if (ec) throw failure(role, path, "no temporary folder: " + ec.message());
    const std::string name = fs::path(e.target).filename().string();
    std::string pattern = (fs::path(folder) / ("." + name + ".orq-XXXXXX")).string();
    if (pattern.size() >= kCleanupPathBytes) throw failure(role, path, "the path is too long");
    // The slot is taken before the file exists, so that no signal finds a file it misses.
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    sigset_t handled, previous;
    sigemptyset(&handled);
    for (int signal : kCleanupSignals)
        sigaddset(&handled, signal);
    // A signal between making the file and registering it would leave it behind.
    pthread_sigmask(SIG_BLOCK, &handled, &previous);
    e.fd = mkostemp(buffer.data(), O_CLOEXEC);
    const int made = errno;
    if (e.fd >= 0) {
        e.temporary = buffer.data();
        try {
            e.slot = registerTemporary(e.temporary);
        } catch (...) {
            pthread_sigmask(SIG_SETMASK, &previous, nullptr);
            e.removeTemporary();
            throw;
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (e.fd < 0)
        throw failure(role, path,
                      "cannot write in " + inQuotes(folder) + ": " + std::strerror(made));
    entries_.push_back(std::move(entry));
}

OutputFiles::Entry& OutputFiles::output(const std::string& path) {
    for (const std::unique_ptr<Entry>& e : entries_)
        if (e->isOutput && e->path == path) return *e;
    throw std::logic_error("'" + path + "' was not added as an output");
}

AudioSink& OutputFiles::audio(const std::string& path, const StreamFormat& format) {
    Entry& e = output(path);
    if (e.kind != OutputKind::Audio || e.audio)
        throw std::logic_error("'" + path + "' is not an audio output still to be written");
    e.audio = std::make_unique<SndfileSink>(e.fd, e.container, e.role, e.path, format);
    return *e.audio;
}

void OutputFiles::write(const std::string& path, const void* bytes, size_t size) {
    Entry& e = output(path);
    if (e.kind != OutputKind::Bytes) throw std::logic_error("'" + path + "' is an audio output");
    e.buffer.append(static_cast<const char*>(bytes), size);
    if (e.buffer.size() >= kWriteBufferBytes) e.flush();
}

void OutputFiles::drop(const std::string& path) {
    Entry& entry = output(path);
    entry.removeTemporary();
    std::erase_if(entries_, [&](const std::unique_ptr<Entry>& e) { return e.get() == &entry; });
}

void OutputFiles::commit() {
    std::vector<Entry*> outputs;
    for (const std::unique_ptr<Entry>& e : entries_)
        if (e->isOutput) outputs.push_back(e.get());
    // Every output complete in its temporary file.
    for (Entry* e : outputs) {
        if (e->kind == OutputKind::Audio) {
            if (!e->audio) throw std::logic_error("the audio of '" + e->path + "' was not written");
            e->audio->finish();
        }
        e->flush();
        // A file replaced is synced first, so that a crash cannot leave it empty; a new one
        // risks nothing and is not waited for.
        if (!e->through && (fchmod(e->fd, e->mode) != 0 ||
                            (e->identity->type == S_IFREG && fdatasync(e->fd) != 0)))
            throw failure(e->role, e->path, std::strerror(errno));
    }
    // Devices and FIFOs take a copy; nothing has been replaced yet should one fail.
    for (Entry* e : outputs) {
        if (!e->through) continue;
        const int out = open(e->target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (out < 0) throw failure(e->role, e->path, std::strerror(errno));
        char chunk[kWriteBufferBytes];
        bool ok = lseek(e->fd, 0, SEEK_SET) == 0;
        int error = errno;
        for (ssize_t n = 0; ok;) {
            n = read(e->fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = n == 0;
                error = errno;
                break;
            }
            ok = writeAll(out, chunk, size_t(n));
            error = errno;
        }
        if (close(out) != 0 && ok) {
            ok = false;
            error = errno;
        }
        if (!ok) throw failure(e->role, e->path, std::strerror(error));
        e->removeTemporary();
        e->done = true;
    }
    for (Entry* e : outputs) {
        if (e->through) continue;
        if (close(e->fd) != 0) {
            e->fd = -1;
            throw failure(e->role, e->path, std::strerror(errno));
        }
        e->fd = -1;
        // Never rename over what is not a regular file, should one have appeared meanwhile.
        struct stat st {};
        if (lstat(e->target.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            throw failure(e->role, e->path, "it is no longer a regular file");
        if (std::rename(e->temporary.c_str(), e->target.c_str()) != 0)
            throw failure(e->role, e->path, std::strerror(errno));
        e->done = true;
        e->removeTemporary();
    }
}

// ---------------------------------------------------------------------------------------------
// The single-file writers of audio_file.h.

struct AudioFileWriter::Output {
    OutputFiles files;
    AudioSink* sink = nullptr;
};

AudioFileWriter::AudioFileWriter(const std::string& path, const StreamFormat& format)
    : path_(path), output_(std::make_unique<Output>()) {
    output_->files.add(path, "the output", OutputKind::Audio);
    output_->sink = &output_->files.audio(path, format);
}

AudioFileWriter::~AudioFileWriter() = default;

void AudioFileWriter::write(const void* bytes, int64_t frames) {
    output_->sink->write(bytes, frames);
}

void AudioFileWriter::commit() {
    output_->files.commit();
}

void writeAudio(const std::string& path, const AudioData& audio) {
    AudioFileWriter writer(path, audio.streamFormat());
    writer.write(audio.data(), audio.frames);
    writer.commit();
}

void writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    OutputFiles files;
    files.add(path, "the file");
    files.write(path, bytes);
    files.commit();
}

} // namespace orq::host
