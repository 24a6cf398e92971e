// What every registry call must do with a file however damaged, for the bounded fuzz test and
// the libFuzzer target: answer ERROR_BADDB (and leave the file as it is) or work, so that what
// enumerates opens, names fit the Windows limits, and a write keeps every key and value that
// was there.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace orq::test {

constexpr DWORD kKeyNameBuffer = 256; // a key name is at most 255 characters on Windows
// The value names the suite and its seed file use; the registry has no value enumeration.
inline const char* const kValueNames[] = {"", "FriendlyName", "Merit", "Odd%Name\tTab"};

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string lastError() {
    char text[512] = {};
    PlatformRegistryError(text, sizeof text);
    return text;
}

// Every key with the values of kValueNames it holds ("path|name" → "type:data").
using Dump = std::map<std::string, std::string>;

// Walks the tree from key. Answers ERROR_SUCCESS, ERROR_BADDB, or the first unexpected result
// (with *what saying where).
inline LONG dumpTree(HKEY key, const std::string& path, Dump* dump, std::string* what) {
    (*dump)[path] = "key";
    for (const char* name : kValueNames) {
        DWORD type = 0, size = 0;
        LONG rc = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) continue;
        if (rc != ERROR_SUCCESS) {
            *what = "sizing value '" + std::string(name) + "' of '" + path + "'";
            return rc;
        }
        std::vector<BYTE> data(size);
        rc = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
        if (rc != ERROR_SUCCESS || size != data.size()) {
            *what = "reading value '" + std::string(name) + "' of '" + path + "'";
            return rc == ERROR_SUCCESS ? ERROR_INVALID_DATA : rc;
        }
        (*dump)[path + "|" + name] =
            std::to_string(type) + ":" + std::string(data.begin(), data.end());
    }
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameBuffer];
        DWORD nameSize = kKeyNameBuffer;
        LONG rc = RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) {
            *what = "enumerating subkey " + std::to_string(index) + " of '" + path + "'";
            return rc;
        }
        HKEY child = nullptr;
        rc = RegOpenKeyExA(key, name, 0, KEY_READ, &child);
        if (rc != ERROR_SUCCESS) {
            *what = "opening the enumerated subkey '" + std::string(name) + "' of '" + path + "'";
            return rc;
        }
        rc = dumpTree(child, path + "\\" + name, dump, what);
        RegCloseKey(child);
        if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
}

enum class RegistryOutcome { Broken, Readable };

// Writes bytes as the registry file and reads, then writes, it through the calls. Answers what
// went wrong, or nothing.
inline std::string checkRegistryFile(const std::string& file, const std::string& bytes,
                                     RegistryOutcome* outcome) {
    writeBytes(file, bytes);
    Dump before;
    std::string what;
    const LONG read = dumpTree(HKEY_CLASSES_ROOT, "", &before, &what);
    HKEY probe = nullptr;
    const LONG create = RegCreateKeyA(HKEY_CLASSES_ROOT, "Fuzz\\Probe", &probe);
    if (read == ERROR_BADDB) {
        *outcome = RegistryOutcome::Broken;
        if (create != ERROR_BADDB) return "a file one call found broken was written";
        if (readBytes(file) != bytes) return "a broken file was rewritten";
        return {};
    }
    *outcome = RegistryOutcome::Readable;
    if (read != ERROR_SUCCESS) return what + ": error " + std::to_string(read);
    if (create != ERROR_SUCCESS) return "a readable file refused a new key: " + lastError();
    const char text[] = "probe";
    const LONG set =
        RegSetValueExA(probe, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(probe);
    if (set != ERROR_SUCCESS) return "a readable file refused a value: " + lastError();
    Dump after;
    if (const LONG again = dumpTree(HKEY_CLASSES_ROOT, "", &after, &what); again != ERROR_SUCCESS)
        return what + " after a write: error " + std::to_string(again);
    for (const auto& [entry, value] : before) {
        const auto found = after.find(entry);
        if (found == after.end()) return "'" + entry + "' was lost by a write";
        if (found->second != value) return "'" + entry + "' changed by a write";
    }
    return {};
}

} // namespace orq::test
