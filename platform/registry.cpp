// Registry: HKEY_CLASSES_ROOT kept in one text file shared by every process of the user.
//
// File format (UTF-8 or any bytes, one record per line, fields separated by one tab):
//
//   orq-registry 1
//   sz      <name>  <text>        values before the first key line belong to the root
//   key     <path>                a key; its parent must have appeared before it
//   sz      <name>  <text>        a REG_SZ value of the key above (stored without terminator)
//   dword   <name>  0x0000002a    a REG_DWORD value of the key above
//   end
//
// Fields escape '%', tab, line breaks and other control bytes as %XX. Nothing may follow the
// end line, so a file cut anywhere is recognised as broken. Writers hold an exclusive flock on
// "<file>.lock", re-read the file, write a temporary file beside it, fsync it and rename it over
// the registry; readers hold a shared lock. A broken file is never rewritten: every call fails
// with ERROR_BADDB until someone repairs or removes it. A file that is not a regular file or is
// larger than kMaxFileBytes is refused the same way, before it is read. Temporary files left by
// a writer that was killed are removed by the next write (writers only make them under the lock,
// so any one found by the lock's holder is stale).
//
// A transaction (PlatformRegistryBeginTransaction/End) holds the exclusive lock from begin to end
// and keeps the registry in memory: calls inside it, from the thread that began it, read and
// change that copy, and the end writes it once. Other threads of the process wait for the end.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kHeaderLine = "orq-registry 1";
constexpr const char* kEndLine = "end";
constexpr size_t kMaxKeyNameChars = 255; // one path component, as on Windows
constexpr size_t kMaxValueNameChars = 16383;
constexpr off_t kMaxFileBytes = off_t(64) << 20;
constexpr const char* kTemporaryInfix = ".tmp.";

// ---------------------------------------------------------------------------------------------
// In-memory model. Maps are keyed by the lower-case form; the stored form keeps the given case.

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string text; // REG_SZ, without terminator
    DWORD number = 0; // REG_DWORD
};

struct Key {
    std::string path; // full path from the root, as first created; "" for the root
    std::map<std::string, Value> values;
};

struct Registry {
    std::map<std::string, Key> keys; // always holds the root ""
    Registry() { keys[""]; }
};

std::string lowerCase(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string parentOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& base, const std::string& sub) {
    if (base.empty()) return sub;
    if (sub.empty()) return base;
    return base + "\\" + sub;
}

// ---------------------------------------------------------------------------------------------
// Last error text, per thread.

thread_local std::string lastErrorText;

LONG fail(LONG code, const std::string& text) {
    lastErrorText = text;
    return code;
}

// ---------------------------------------------------------------------------------------------
// File location. Resolved on every call so that a process (or a test) may switch files.

std::string registryPath() {
    if (const char* explicitPath = std::getenv("ORQ_REGISTRY");
        explicitPath != nullptr && explicitPath[0] != '\0')
        return explicitPath;
    std::string dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        dataHome = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            struct passwd* entry = getpwuid(getuid());
            home = entry != nullptr ? entry->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] == '\0') return std::string();
        dataHome = std::string(home) + "/.local/share";
    }
    return dataHome + "/orq/registry";
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool makeFolders(const std::string& folder) {
    if (folder.empty() || folder == "/" || folder == ".") return true;
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (!makeFolders(folderOf(folder))) return false;
    return mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

// ---------------------------------------------------------------------------------------------
// Encoding.

std::string escapeField(const std::string& field) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    out.reserve(field.size());
    for (unsigned char c : field) {
        if (c == '%' || c < 0x20 || c == 0x7f) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xf];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool unescapeField(const std::string& field, std::string* out) {
    out->clear();
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out->push_back(field[i]);
            continue;
        }
        if (i + 2 >= field.size()) return false;
        int high = hexDigit(field[i + 1]);
        int low = hexDigit(field[i + 2]);
        if (high < 0 || low < 0) return false;
        out->push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

std::string serialize(const Registry& registry) {
    std::string out = std::string(kHeaderLine) + "\n";
    for (const auto& [lowerPath, key] : registry.keys) {
        if (!lowerPath.empty()) out += "key\t" + escapeField(key.path) + "\n";
        for (const auto& [lowerName, value] : key.values) {
            if (value.type == REG_SZ) {
                out += "sz\t" + escapeField(value.name) + "\t" + escapeField(value.text) + "\n";
            } else {
                char number[16];
                std::snprintf(number, sizeof number, "0x%08x", static_cast<unsigned>(value.number));
                out += "dword\t" + escapeField(value.name) + "\t" + number + "\n";
            }
        }
    }
    out += std::string(kEndLine) + "\n";
    return out;
}

// A key path the calls can reach: components of 1 to 255 bytes without NUL (an enumerated name
// must fit the caller's 256-byte buffer and open again by the name it gave).
bool isKeyPath(const std::string& path) {
    if (path.find('\0') != std::string::npos) return false;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('\\', start);
        const size_t length = (slash == std::string::npos ? path.size() : slash) - start;
        if (length == 0 || length > kMaxKeyNameChars) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

// A value name the calls can reach: no NUL, at most 16383 bytes.
bool isValueName(const std::string& name) {
    return name.size() <= kMaxValueNameChars && name.find('\0') == std::string::npos;
}

// The digits of a number: "0x" and hexadecimal digits as the writer writes them, or decimal
// digits as a hand would (no sign, no spaces, no leading zero read as octal).
bool isNumberField(const std::string& body, bool hex) {
    if (body.empty() || body.size() > (hex ? 8u : 10u)) return false;
    for (char c : body)
        if (hex ? hexDigit(c) < 0 : (c < '0' || c > '9')) return false;
    return hex || body == "0" || body[0] != '0';
}

// Parses a whole file; on failure *reason says what is wrong and where.
bool parse(const std::string& content, Registry* registry, std::string* reason) {
    *registry = Registry();
    size_t position = 0;
    int lineNumber = 0;
    bool sawHeader = false, sawEnd = false;
    Key* current = &registry->keys[""];
    while (position < content.size()) {
        size_t newline = content.find('\n', position);
        ++lineNumber;
        if (newline == std::string::npos) {
            *reason = "line " + std::to_string(lineNumber) + " is cut short (truncated file)";
            return false;
        }
        std::string line = content.substr(position, newline - position);
        position = newline + 1;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.find('\0') != std::string::npos) {
            *reason = where + "NUL byte";
            return false;
        }
        if (sawEnd) {
            *reason = where + "data after the end line";
            return false;
        }
        if (!sawHeader) {
            if (line != kHeaderLine) {
                *reason = where + "not a registry file (header \"" + kHeaderLine + "\" missing)";
                return false;
            }
            sawHeader = true;
            continue;
        }
        if (line == kEndLine) {
            sawEnd = true;
            continue;
        }
        std::vector<std::string> fields = splitTabs(line);
        if (fields[0] == "key" && fields.size() == 2) {
            std::string path;
            if (!unescapeField(fields[1], &path) || !isKeyPath(path)) {
                *reason = where + "bad key path";
                return false;
            }
            const std::string lower = lowerCase(path);
            if (registry->keys.count(lower) != 0) {
                *reason = where + "key listed twice";
                return false;
            }
            if (registry->keys.count(lowerCase(parentOf(path))) == 0) {
                *reason = where + "key listed before its parent";
                return false;
            }
            current = &registry->keys[lower];
            current->path = path;
        } else if ((fields[0] == "sz" || fields[0] == "dword") && fields.size() == 3) {
            Value value;
            if (!unescapeField(fields[1], &value.name) || !isValueName(value.name)) {
                *reason = where + "bad value name";
                return false;
            }
            if (fields[0] == "sz") {
                value.type = REG_SZ;
                if (!unescapeField(fields[2], &value.text) ||
                    value.text.find('\0') != std::string::npos) {
                    *reason = where + "bad string value";
                    return false;
                }
            } else {
                value.type = REG_DWORD;
                const std::string& digits = fields[2];
                const bool hex = digits.starts_with("0x");
                const std::string body = hex ? digits.substr(2) : digits;
                char* end = nullptr;
                errno = 0;
                unsigned long long number = std::strtoull(body.c_str(), &end, hex ? 16 : 10);
                if (!isNumberField(body, hex) || *end != '\0' || errno != 0 ||
                    number > 0xffffffffull) {
                    *reason = where + "bad number";
                    return false;
                }
                value.number = static_cast<DWORD>(number);
            }
            const std::string lowerName = lowerCase(value.name);
            if (current->values.count(lowerName) != 0) {
                *reason = where + "value listed twice";
                return false;
            }
            current->values[lowerName] = std::move(value);
        } else {
            *reason = where + "unknown record";
            return false;
        }
    }
    if (!sawHeader) {
        *reason = "empty file (header missing)";
        return false;
    }
    if (!sawEnd) {
        *reason = "end line missing (truncated file)";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// File access under the lock.

class FileLock {
  public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() { release(); }
    void release() {
        if (fd_ >= 0) close(fd_); // closing releases the flock
        fd_ = -1;
    }
    // Returns 0 or an errno value.
    int acquire(const std::string& lockPath, bool exclusive) {
        fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0 && !exclusive) fd_ = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return errno;
        while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) return errno;
        }
        return 0;
    }

  private:
    int fd_ = -1;
};

// Reads and parses the registry file; a missing file is an empty registry.
LONG readRegistry(const std::string& path, Registry* registry) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            *registry = Registry();
            return ERROR_SUCCESS;
        }
        return fail(ERROR_BADDB, "registry " + path + ": cannot be read: " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode))
        return fail(ERROR_BADDB, "registry " + path + ": not a regular file");
    if (info.st_size > kMaxFileBytes)
        return fail(ERROR_BADDB, "registry " + path + ": larger than " +
                                     std::to_string(kMaxFileBytes >> 20) + " MiB");
    // O_NONBLOCK: should the path turn into a FIFO after the check, opening it does not hang.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            *registry = Registry();
            return ERROR_SUCCESS;
        }
        return fail(ERROR_BADDB, "registry " + path + ": cannot be read: " + std::strerror(errno));
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileBytes) {
        close(fd);
        return fail(ERROR_BADDB, "registry " + path + ": not a regular file of at most " +
                                     std::to_string(kMaxFileBytes >> 20) + " MiB");
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int error = errno;
            close(fd);
            return fail(ERROR_BADDB,
                        "registry " + path + ": cannot be read: " + std::strerror(error));
        }
        if (n == 0) break;
        content.append(buffer, static_cast<size_t>(n));
        if (content.size() > static_cast<size_t>(kMaxFileBytes)) {
            close(fd);
            return fail(ERROR_BADDB, "registry " + path + ": larger than " +
                                         std::to_string(kMaxFileBytes >> 20) + " MiB");
        }
    }
    close(fd);
    std::string reason;
    if (!parse(content, registry, &reason))
        return fail(ERROR_BADDB, "registry " + path + ": corrupt: " + reason);
    return ERROR_SUCCESS;
}

LONG writeFailure(const std::string& path, const char* what, int error) {
    return fail(ERROR_ACCESS_DENIED,
                "registry " + path + ": " + what + ": " + std::strerror(error));
}

bool writeAll(int fd, const std::string& content) {
    size_t written = 0;
    while (written < content.size()) {
        ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

// Removes "<file>.tmp.*" beside the registry. Called by the holder of the exclusive lock, so
// every such file belongs to a writer that died before its rename.
void removeStaleTemporaries(const std::string& path) {
    const std::string folder = folderOf(path);
    const size_t slash = path.rfind('/');
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + kTemporaryInfix;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> stale;
    while (dirent* entry = readdir(dir))
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
            stale.push_back(folder + "/" + entry->d_name);
    closedir(dir);
    for (const std::string& name : stale)
        unlink(name.c_str()); // a failure here only leaves litter; the write goes on
}

// Replaces the registry file with content: temporary file, fsync, rename, fsync of the folder.
LONG writeRegistry(const std::string& path, const std::string& content) {
    static std::atomic<unsigned> sequence{0};
    removeStaleTemporaries(path);
    const std::string temporary = path + kTemporaryInfix + std::to_string(getpid()) + "." +
                                  std::to_string(sequence.fetch_add(1));
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return writeFailure(path, "cannot create temporary file", errno);
    if (!writeAll(fd, content) || fsync(fd) != 0) {
        int error = errno;
        close(fd);
        unlink(temporary.c_str());
        return writeFailure(path, "cannot write temporary file", error);
    }
    if (close(fd) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        return writeFailure(path, "cannot write temporary file", error);
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        return writeFailure(path, "cannot replace file", error);
    }
    int folder = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return ERROR_SUCCESS;
}

LONG resolvePath(std::string* path) {
    *path = registryPath();
    if (path->empty())
        return fail(ERROR_BADDB, "registry: no file (neither ORQ_REGISTRY nor HOME is set)");
    return ERROR_SUCCESS;
}

// Takes the exclusive lock, making the registry's folder when it is missing.
LONG lockForWriting(const std::string& path, FileLock& lock) {
    int error = lock.acquire(path + ".lock", true);
    if (error == ENOENT) {
        if (!makeFolders(folderOf(path))) return writeFailure(path, "cannot create folder", errno);
        error = lock.acquire(path + ".lock", true);
    }
    if (error != 0) return writeFailure(path, "cannot lock", error);
    return ERROR_SUCCESS;
}

// The open transaction of this process. transactionMutex is held by the thread that began it
// from begin to end, and by every call for its duration, so a call sees a transaction only when
// its own thread began it.
struct Transaction {
    int depth = 0;
    std::string path;
    FileLock lock;
    Registry registry;
    bool changed = false;
    bool abandoned = false; // an inner end without commit: the outermost end writes nothing
};
std::recursive_mutex transactionMutex;
Transaction& transaction() {
    static auto* open = new Transaction(); // outlives every static destructor
    return *open;
}

// Runs read(registry) under a shared lock.
template <class Read> LONG withRegistryRead(Read&& readOperation) {
    std::lock_guard<std::recursive_mutex> guard(transactionMutex);
    if (Transaction& t = transaction(); t.depth > 0) return readOperation(t.registry, t.path);
    std::string path;
    if (LONG rc = resolvePath(&path); rc != ERROR_SUCCESS) return rc;
    FileLock lock;
    int error = lock.acquire(path + ".lock", false);
    // Without a lock file (no folder yet, read-only folder) the read is still consistent:
    // writers replace the file by rename, never in place.
    (void)error;
    Registry registry;
    if (LONG rc = readRegistry(path, &registry); rc != ERROR_SUCCESS) return rc;
    return readOperation(registry, path);
}

// Runs change(registry, changed) under the exclusive lock and writes the file when changed.
template <class Change> LONG withRegistryChange(Change&& change) {
    std::lock_guard<std::recursive_mutex> guard(transactionMutex);
    if (Transaction& t = transaction(); t.depth > 0) {
        bool changed = false;
        LONG rc = change(t.registry, t.path, changed);
        t.changed = t.changed || changed;
        return rc;
    }
    std::string path;
    if (LONG rc = resolvePath(&path); rc != ERROR_SUCCESS) return rc;
    FileLock lock;
    if (LONG rc = lockForWriting(path, lock); rc != ERROR_SUCCESS) return rc;
    Registry registry;
    if (LONG rc = readRegistry(path, &registry); rc != ERROR_SUCCESS) return rc;
    bool changed = false;
    LONG rc = change(registry, path, changed);
    if (rc != ERROR_SUCCESS || !changed) return rc;
    return writeRegistry(path, serialize(registry));
}

// ---------------------------------------------------------------------------------------------
// Handles.

constexpr uint32_t kKeyMagic = 0x4b455931; // "KEY1"

} // namespace

struct HKEY__ {
    uint32_t magic = kKeyMagic;
    std::string path;
};

namespace {

std::mutex handleMutex;
std::unordered_set<HKEY>& liveHandles() {
    static auto* handles = new std::unordered_set<HKEY>(); // outlives every static destructor
    return *handles;
}

bool isPredefinedRoot(HKEY key) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x800000ffu;
}

// The path of key's own key; ERROR_INVALID_HANDLE for anything but the root and live handles.
LONG handlePath(HKEY key, std::string* path) {
    if (key == HKEY_CLASSES_ROOT) {
        path->clear();
        return ERROR_SUCCESS;
    }
    if (isPredefinedRoot(key))
        return fail(ERROR_INVALID_HANDLE, "registry: only HKEY_CLASSES_ROOT is available");
    std::lock_guard<std::mutex> guard(handleMutex);
    if (key == nullptr || liveHandles().count(key) == 0)
        return fail(ERROR_INVALID_HANDLE, "registry: invalid key handle");
    *path = key->path;
    return ERROR_SUCCESS;
}

LONG newHandle(const std::string& path, HKEY* result) {
    HKEY key = new (std::nothrow) HKEY__();
    if (key == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY, "registry: out of memory");
    key->path = path;
    std::lock_guard<std::mutex> guard(handleMutex);
    liveHandles().insert(key);
    *result = key;
    return ERROR_SUCCESS;
}

// Joins base and a relative subkey, checking the subkey's form. A trailing backslash is allowed.
LONG subKeyPath(const std::string& base, LPCSTR subKey, std::string* path) {
    std::string sub = subKey != nullptr ? subKey : "";
    if (!sub.empty() && sub.back() == '\\') sub.pop_back();
    if (!sub.empty()) {
        size_t start = 0;
        for (;;) {
            size_t slash = sub.find('\\', start);
            size_t length = (slash == std::string::npos ? sub.size() : slash) - start;
            if (length == 0 || length > kMaxKeyNameChars)
                return fail(ERROR_INVALID_PARAMETER,
                            "registry: bad key name \"" + std::string(subKey) + "\"");
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
    }
    *path = joinPath(base, sub);
    return ERROR_SUCCESS;
}

LONG keyDeleted(const std::string& path) {
    return fail(ERROR_KEY_DELETED, "registry: key \"" + path + "\" was deleted");
}

LONG keyMissing(const std::string& registryFile, const std::string& path) {
    return fail(ERROR_FILE_NOT_FOUND, "registry " + registryFile + ": no key \"" + path + "\"");
}

std::string valueName(LPCSTR name) {
    return name != nullptr ? name : "";
}

// Direct subkey names of lowerPath, in order of their lower-case form.
std::vector<std::string> subKeyNames(const Registry& registry, const std::string& lowerPath) {
    std::vector<std::string> names;
    const std::string prefix = lowerPath.empty() ? std::string() : lowerPath + "\\";
    for (auto it = registry.keys.lower_bound(prefix); it != registry.keys.end(); ++it) {
        const std::string& candidate = it->first;
        if (candidate.compare(0, prefix.size(), prefix) != 0) break;
        if (candidate.size() == prefix.size()) continue; // the root itself
        if (candidate.find('\\', prefix.size()) != std::string::npos) continue;
        names.push_back(lastComponent(it->second.path));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return lowerCase(a) < lowerCase(b);
    });
    return names;
}

LONG openKey(HKEY key, LPCSTR subKey, HKEY* result) {
    if (result == nullptr) return fail(ERROR_INVALID_PARAMETER, "registry: no result pointer");
    *result = nullptr;
    std::string base, path;
    if (LONG rc = handlePath(key, &base); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = subKeyPath(base, subKey, &path); rc != ERROR_SUCCESS) return rc;
    std::string storedPath;
    LONG rc = withRegistryRead([&](const Registry& registry, const std::string& file) {
        if (registry.keys.count(lowerCase(base)) == 0) return keyDeleted(base);
        auto found = registry.keys.find(lowerCase(path));
        if (found == registry.keys.end()) return keyMissing(file, path);
        storedPath = found->second.path;
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
    if (path.empty() && key == HKEY_CLASSES_ROOT) {
        *result = HKEY_CLASSES_ROOT;
        return ERROR_SUCCESS;
    }
    return newHandle(storedPath, result);
}

LONG enumKey(HKEY key, DWORD index, LPSTR name, DWORD* nameSize) {
    if (name == nullptr || nameSize == nullptr)
        return fail(ERROR_INVALID_PARAMETER, "registry: no name buffer");
    std::string base;
    if (LONG rc = handlePath(key, &base); rc != ERROR_SUCCESS) return rc;
    return withRegistryRead([&](const Registry& registry, const std::string&) {
        if (registry.keys.count(lowerCase(base)) == 0) return keyDeleted(base);
        std::vector<std::string> names = subKeyNames(registry, lowerCase(base));
        if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
        const std::string& found = names[index];
        if (found.size() + 1 > *nameSize) {
            *nameSize = static_cast<DWORD>(found.size() + 1);
            return ERROR_MORE_DATA;
        }
        std::memcpy(name, found.c_str(), found.size() + 1);
        *nameSize = static_cast<DWORD>(found.size());
        return ERROR_SUCCESS;
    });
}

} // namespace

extern "C" {

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, void*, HKEY* result,
                     DWORD* disposition) {
    if (result == nullptr) return fail(ERROR_INVALID_PARAMETER, "registry: no result pointer");
    *result = nullptr;
    std::string base, path;
    if (LONG rc = handlePath(key, &base); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = subKeyPath(base, subKey, &path); rc != ERROR_SUCCESS) return rc;
    std::string storedPath;
    bool created = false;
    LONG rc = withRegistryChange([&](Registry& registry, const std::string&, bool& changed) {
        if (registry.keys.count(lowerCase(base)) == 0) return keyDeleted(base);
        // Create every missing level below the base, keeping the case of existing levels.
        std::string relative = path.substr(base.size());
        if (!relative.empty() && relative.front() == '\\') relative.erase(0, 1);
        std::string level = registry.keys[lowerCase(base)].path;
        size_t start = 0;
        while (start < relative.size()) {
            size_t slash = relative.find('\\', start);
            if (slash == std::string::npos) slash = relative.size();
            level = joinPath(level, relative.substr(start, slash - start));
            Key& entry = registry.keys[lowerCase(level)];
            if (entry.path.empty()) {
                entry.path = level;
                changed = created = true;
            }
            level = entry.path;
            start = slash + 1;
        }
        storedPath = level;
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
    if (disposition != nullptr)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    if (path.empty() && key == HKEY_CLASSES_ROOT) {
        *result = HKEY_CLASSES_ROOT;
        return ERROR_SUCCESS;
    }
    return newHandle(storedPath, result);
}

LONG RegCreateKeyA(HKEY key, LPCSTR subKey, HKEY* result) {
    return RegCreateKeyExA(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, result, nullptr);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, HKEY* result) {
    return openKey(key, subKey, result);
}

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result) {
    return openKey(key, subKey, result);
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    std::string base;
    if (LONG rc = handlePath(key, &base); rc != ERROR_SUCCESS) return rc;
    Value value;
    value.name = valueName(name);
    value.type = type;
    if (value.name.size() > kMaxValueNameChars)
        return fail(ERROR_INVALID_PARAMETER, "registry: value name too long");
    if (data == nullptr && size != 0)
        return fail(ERROR_INVALID_PARAMETER, "registry: no data for value \"" + value.name + "\"");
    if (type == REG_SZ) {
        // The text runs to the first terminator or the end of the given bytes.
        const char* text = reinterpret_cast<const char*>(data);
        value.text.assign(text != nullptr ? text : "", text != nullptr ? strnlen(text, size) : 0);
    } else if (type == REG_DWORD) {
        if (size != sizeof(DWORD))
            return fail(ERROR_INVALID_PARAMETER,
                        "registry: REG_DWORD value \"" + value.name + "\" needs 4 bytes");
        std::memcpy(&value.number, data, sizeof(DWORD));
    } else {
        return fail(ERROR_INVALID_PARAMETER, "registry: value type " + std::to_string(type) +
                                                 " is not supported (REG_SZ, REG_DWORD only)");
    }
    return withRegistryChange([&](Registry& registry, const std::string&, bool& changed) {
        auto found = registry.keys.find(lowerCase(base));
        if (found == registry.keys.end()) return keyDeleted(base);
        Value& slot = found->second.values[lowerCase(value.name)];
        if (slot.type == REG_NONE) slot.name = value.name; // a new value keeps its given case
        if (slot.type != value.type || slot.text != value.text || slot.number != value.number) {
            slot.type = value.type;
            slot.text = value.text;
            slot.number = value.number;
            changed = true;
        }
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
    if (data != nullptr && size == nullptr)
        return fail(ERROR_INVALID_PARAMETER, "registry: data buffer without a size");
    std::string base;
    if (LONG rc = handlePath(key, &base); rc != ERROR_SUCCESS) return rc;
    const std::string wanted = valueName(name);
    return withRegistryRead([&](const Registry& registry, const std::string& file) {
        auto found = registry.keys.find(lowerCase(base));
        if (found == registry.keys.end()) return keyDeleted(base);
        auto value = found->second.values.find(lowerCase(wanted));
        if (value == found->second.values.end())
            return fail(ERROR_FILE_NOT_FOUND,
                        "registry " + file + ": no value \"" + wanted + "\" in \"" + base + "\"");
        const Value& v = value->second;
        const DWORD needed =
            v.type == REG_SZ ? static_cast<DWORD>(v.text.size() + 1) : sizeof(DWORD);
        if (type != nullptr) *type = v.type;
        if (data == nullptr) {
            if (size != nullptr) *size = needed;
            return ERROR_SUCCESS;
        }
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (v.type == REG_SZ)
            std::memcpy(data, v.text.c_str(), needed);
        else
            std::memcpy(data, &v.number, sizeof(DWORD));
        *size = needed;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD*, LPSTR keyClass,
                   DWORD* classSize, void*) {
    LONG rc = enumKey(key, index, name, nameSize);
    if (rc == ERROR_SUCCESS && keyClass != nullptr && classSize != nullptr && *classSize > 0) {
        keyClass[0] = '\0';
        *classSize = 0;
    }
    return rc;
}

LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) {
    return enumKey(key, index, name, &nameSize);
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (subKey == nullptr) return fail(ERROR_INVALID_PARAMETER, "registry: no key name to delete");
    std::string base, path;
    if (LONG rc = handlePath(key, &base); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = subKeyPath(base, subKey, &path); rc != ERROR_SUCCESS) return rc;
    if (path.empty()) return fail(ERROR_ACCESS_DENIED, "registry: the root cannot be deleted");
    return withRegistryChange([&](Registry& registry, const std::string& file, bool& changed) {
        if (registry.keys.count(lowerCase(base)) == 0) return keyDeleted(base);
        const std::string lower = lowerCase(path);
        if (registry.keys.count(lower) == 0) return keyMissing(file, path);
        if (!subKeyNames(registry, lower).empty())
            return fail(ERROR_ACCESS_DENIED,
                        "registry " + file + ": key \"" + path + "\" still has subkeys");
        registry.keys.erase(lower);
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY key, LPCSTR name) {
    std::string base;
    if (LONG rc = handlePath(key, &base); rc != ERROR_SUCCESS) return rc;
    const std::string wanted = valueName(name);
    return withRegistryChange([&](Registry& registry, const std::string& file, bool& changed) {
        auto found = registry.keys.find(lowerCase(base));
        if (found == registry.keys.end()) return keyDeleted(base);
        if (found->second.values.erase(lowerCase(wanted)) == 0)
            return fail(ERROR_FILE_NOT_FOUND,
                        "registry " + file + ": no value \"" + wanted + "\" in \"" + base + "\"");
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    if (isPredefinedRoot(key)) return fail(ERROR_INVALID_HANDLE, "registry: invalid key handle");
    {
        std::lock_guard<std::mutex> guard(handleMutex);
        if (key == nullptr || liveHandles().erase(key) == 0)
            return fail(ERROR_INVALID_HANDLE, "registry: invalid key handle");
    }
    delete key;
    return ERROR_SUCCESS;
}

LONG PlatformRegistryBeginTransaction() {
    transactionMutex.lock();
    Transaction& t = transaction();
    if (t.depth > 0) {
        ++t.depth;
        return ERROR_SUCCESS;
    }
    LONG rc = resolvePath(&t.path);
    if (rc == ERROR_SUCCESS) rc = lockForWriting(t.path, t.lock);
    if (rc == ERROR_SUCCESS) rc = readRegistry(t.path, &t.registry);
    if (rc != ERROR_SUCCESS) {
        t.lock.release();
        transactionMutex.unlock();
        return rc;
    }
    t.changed = t.abandoned = false;
    t.depth = 1;
    return ERROR_SUCCESS;
}

LONG PlatformRegistryEndTransaction(BOOL commit) {
    Transaction& t = transaction();
    {
        std::lock_guard<std::recursive_mutex> guard(transactionMutex);
        if (t.depth == 0) return fail(ERROR_INVALID_PARAMETER, "registry: no transaction to end");
    }
    // This thread holds the mutex since its begin (a thread without a transaction would have
    // seen depth 0 above only after waiting for the one that has it).
    LONG rc = ERROR_SUCCESS;
    if (!commit) t.abandoned = true;
    if (--t.depth == 0) {
        if (!t.abandoned && t.changed) rc = writeRegistry(t.path, serialize(t.registry));
        t.registry = Registry();
        t.changed = t.abandoned = false;
        t.lock.release();
    }
    transactionMutex.unlock();
    return rc;
}

void PlatformRegistryError(char* text, DWORD size) {
    if (text == nullptr || size == 0) return;
    std::snprintf(text, size, "%s", lastErrorText.c_str());
}

void PlatformRegistryPath(char* path, DWORD size) {
    if (path == nullptr || size == 0) return;
    std::snprintf(path, size, "%s", registryPath().c_str());
}

} // extern "C"
