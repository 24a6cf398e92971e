// Internal helper of the library's error scheme: reports a failure with the caller's source
// file name and line.
#pragma once

#include "dsp/nsp.h"

#include <source_location>

namespace nsp {

const char* baseFileName(const char* path);

inline NSPStatus report(NSPStatus status, const char* funcName, const char* message,
                        std::source_location where = std::source_location::current()) {
    return nspError(status, funcName, message, baseFileName(where.file_name()),
                    static_cast<int>(where.line()));
}

} // namespace nsp
