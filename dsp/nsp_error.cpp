// The library's error scheme: process-wide status, error mode, handler and the standard report.
#include "dsp/nsp.h"
#include "dsp/nsp_error.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Shared by every thread of the process; atomics so that concurrent reports are not data races.
std::atomic<NSPStatus> gStatus{NSP_StsOk};
std::atomic<int> gMode{NSP_ErrorModeLeaf};
std::atomic<NSPErrorCallBack> gHandler{nspStdErrReport};

constexpr const char* kParentQuestion = "\n\nErrMode=NSP_ErrorModeParent\n\nContinue?";
constexpr const char* kLeafQuestion = "\n\nErrMode=NSP_ErrorModeLeaf\n\nTerminate the application?";
constexpr const char* kTerminateText = "SPL Library:\nterminating the application";
constexpr const char* kWin32sExitCaption = "Win32S: Application exit";
// Each question's default button is the answer that carries on, so a box nobody answers (a
// process without a user) never ends the process.
constexpr UINT kParentBoxStyle = MB_OKCANCEL | MB_DEFBUTTON1; // OK: continue
constexpr UINT kLeafBoxStyle = MB_YESNO | MB_DEFBUTTON2;      // No: do not terminate
constexpr int kTerminateExitCode = 1;
constexpr size_t kReportTextSize = 1024;
constexpr size_t kCaptionSize = 256;
constexpr size_t kUnknownStatusSize = 64;

// Win32s (the 32-bit layer on 16-bit Windows): high bit of GetVersion set, major version below 4.
constexpr DWORD kVersionNotNtBit = 0x80000000u;
constexpr DWORD kWin32sMaxMajor = 3;
constexpr DWORD kMajorVersionMask = 0xffu; // low byte of GetVersion

bool runningOnWin32s() {
    const DWORD version = GetVersion();
    return (version & kVersionNotNtBit) != 0 && (version & kMajorVersionMask) <= kWin32sMaxMajor;
}

[[noreturn]] void terminateApplication() {
    if (runningOnWin32s()) {
        MessageBoxA(nullptr, kTerminateText, kWin32sExitCaption, MB_OK);
    } else {
        FatalAppExitA(0, kTerminateText);
    }
    std::exit(kTerminateExitCode);
}

} // namespace

namespace nsp {

const char* baseFileName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

} // namespace nsp

extern "C" {

NSPStatus nspGetErrStatus() {
    return gStatus.load();
}
void nspSetErrStatus(NSPStatus status) {
    gStatus.store(status);
}
int nspGetErrMode() {
    return gMode.load();
}
void nspSetErrMode(int mode) {
    gMode.store(mode);
}

NSPErrorCallBack nspRedirectError(NSPErrorCallBack handler) {
    return gHandler.exchange(handler ? handler : nspStdErrReport);
}

NSPStatus nspError(NSPStatus status, const char* funcName, const char* context, const char* file,
                   int line) {
    if (status == NSP_StsOk) return status;
    if (status != NSP_StsBackTrace && status != NSP_StsAutoTrace) gStatus.store(status);
    const NSPErrorCallBack handler = gHandler.load();
    if (handler) handler(status, funcName, context, file, line);
    return status;
}

const char* nspErrorStr(NSPStatus status) {
    switch (status) {
    case NSP_StsOk:
        return "No Error";
    case NSP_StsBackTrace:
        return "Backtrace";
    case NSP_StsError:
        return "Unknown error";
    case NSP_StsInternal:
        return "Internal error (bad state)";
    case NSP_StsNoMem:
        return "Out of memory";
    case NSP_StsBadArg:
        return "Bad argument";
    case NSP_StsBadFunc:
        return "Unsupported function";
    case NSP_StsNoConv:
        return "Iteration convergence failed";
    case NSP_StsAutoTrace:
        return "Autotrace call";
    default:
        break;
    }
    thread_local char unknown[kUnknownStatusSize];
    std::snprintf(unknown, sizeof unknown, "Unknown %s code %d", status > 0 ? "status" : "error",
                  status);
    return unknown;
}

NSPStatus nspNulDevReport(NSPStatus status, const char*, const char*, const char*, int) {
    return status;
}

NSPStatus nspStdErrReport(NSPStatus status, const char* funcName, const char* context,
                          const char* file, int line) {
    const int mode = gMode.load();
    if (mode == NSP_ErrorModeSilent) return status;

    const char* question = mode == NSP_ErrorModeParent ? kParentQuestion : kLeafQuestion;
    const char* func = funcName ? funcName : "<unknown>";
    const char* where = file ? file : "";
    const char* message = context ? context : "";

    char text[kReportTextSize];
    if (status == NSP_StsBackTrace) {
        std::snprintf(text, sizeof text, "called from [%s:%d]:%s():\n %s%s", where, line, func,
                      message, question);
    } else if (status == NSP_StsAutoTrace) {
        std::snprintf(text, sizeof text, "called from [%s:%d]:\n %s(%s)%s", where, line, func,
                      message, question);
    } else {
        std::snprintf(text, sizeof text, "in function [%s:%d]:%s():\n %s%s", where, line, func,
                      message, question);
    }
    char caption[kCaptionSize];
    std::snprintf(caption, sizeof caption, "SPL Library Error: %s", nspErrorStr(status));

    if (mode == NSP_ErrorModeParent) {
        if (MessageBoxA(nullptr, text, caption, kParentBoxStyle) == IDCANCEL)
            terminateApplication();
    } else {
        if (MessageBoxA(nullptr, text, caption, kLeafBoxStyle) == IDYES) terminateApplication();
    }
    return status;
}

} // extern "C"
