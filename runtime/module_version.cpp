#include "runtime/module_version.h"

#include <cstdint>
#include <vector>

namespace orq {

std::string moduleProductVersion(HINSTANCE module) {
    static constexpr const char* kVersionKey = "\\StringFileInfo\\040904b0\\ProductVersion";
    char path[1024] = {};
    if (GetModuleFileNameA(module, path, sizeof path) == 0) return {};
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return {};
    std::vector<uint8_t> block(size);
    void* value = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path, handle, size, block.data()) ||
        !VerQueryValueA(block.data(), kVersionKey, &value, &length) || value == nullptr)
        return {};
    return static_cast<const char*>(value);
}

} // namespace orq
