// User interface: message boxes and fatal exits. Headless: boxes are written to stderr and
// answered with their default button, or with the answer a caller (a test) set beforehand when
// that is one of the box's buttons.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
constexpr int kNoAnswer = 0;
constexpr size_t kButtonsMax = 3;
std::atomic<int> boxAnswer{kNoAnswer};
std::mutex boxMutex;
PlatformMessageBoxRecord lastBox{};

void copyText(char* destination, size_t size, const char* source) {
    std::snprintf(destination, size, "%s", source != nullptr ? source : "");
}

// The buttons of a box's type, in order; unused places are kNoAnswer.
std::array<int, kButtonsMax> buttonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL, kNoAnswer};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO, kNoAnswer};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL, kNoAnswer};
    default:
        return {IDOK, kNoAnswer, kNoAnswer};
    }
}

// The set answer when the box has that button, otherwise the box's default button (the first
// when the default names a button it does not have).
int answerFor(UINT type) {
    const std::array<int, kButtonsMax> buttons = buttonsOf(type);
    const int set = boxAnswer.load();
    if (set != kNoAnswer && std::find(buttons.begin(), buttons.end(), set) != buttons.end())
        return set;
    const size_t defaultButton = (type & MB_DEFMASK) / MB_DEFBUTTON2;
    return defaultButton < kButtonsMax && buttons[defaultButton] != kNoAnswer
               ? buttons[defaultButton]
               : buttons[0];
}
} // namespace

extern "C" {

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    const int answer = answerFor(type);
    std::lock_guard<std::mutex> guard(boxMutex);
    copyText(lastBox.text, sizeof lastBox.text, text);
    copyText(lastBox.caption, sizeof lastBox.caption, caption != nullptr ? caption : "Error");
    lastBox.type = type;
    lastBox.answer = answer;
    ++lastBox.count;
    std::fprintf(stderr, "[%s] %s\n", lastBox.caption, lastBox.text);
    return answer;
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
