#include "host/help_texts.h"

#include <windows.h>

namespace orq::host {
namespace {

// The module carrying orq's resources: the program this code is linked into.
HMODULE resourceModule() {
    static const int anchor = 0;
    return PlatformModuleFromAddress(&anchor);
}

} // namespace

std::string helpFileName(const std::string& helpPath) {
    const size_t slash = helpPath.find_last_of("\\/");
    return slash == std::string::npos ? helpPath : helpPath.substr(slash + 1);
}

std::optional<std::string> helpTextFor(const std::string& helpPath) {
    const std::string name = helpFileName(helpPath);
    if (name.empty()) return std::nullopt;
    const HMODULE module = resourceModule();
    HRSRC found = FindResourceA(module, name.c_str(), RT_RCDATA);
    if (found == nullptr) return std::nullopt;
    HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = static_cast<const char*>(LockResource(loaded));
    if (bytes == nullptr) return std::nullopt;
    return std::string(bytes, SizeofResource(module, found));
}

} // namespace orq::host
