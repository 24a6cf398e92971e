// User interface: message boxes and fatal exits. Headless: boxes are written to stderr and
// answered with the answer a caller (a test) set beforehand.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
std::atomic<int> boxAnswer{IDOK};
std::mutex boxMutex;
PlatformMessageBoxRecord lastBox{};

void copyText(char* destination, size_t size, const char* source) {
    std::snprintf(destination, size, "%s", source != nullptr ? source : "");
}
} // namespace

extern "C" {

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    {
        std::lock_guard<std::mutex> guard(boxMutex);
        copyText(lastBox.text, sizeof lastBox.text, text);
        copyText(lastBox.caption, sizeof lastBox.caption, caption != nullptr ? caption : "Error");
        lastBox.type = type;
        ++lastBox.count;
        std::fprintf(stderr, "[%s] %s\n", lastBox.caption, lastBox.text);
    }
    return boxAnswer.load();
}

void PlatformSetMessageBoxAnswer(int answer) {
    boxAnswer.store(answer);
}

void PlatformLastMessageBox(PlatformMessageBoxRecord* record) {
    std::lock_guard<std::mutex> guard(boxMutex);
    *record = lastBox;
}

void FatalAppExitA(UINT, LPCSTR message) {
    std::fprintf(stderr, "%s\n", message != nullptr ? message : "");
    std::exit(1);
}

} // extern "C"
