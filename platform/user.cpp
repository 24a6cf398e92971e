// User interface: message boxes, fatal exits, the clipboard, help and sounds. Headless: boxes are
// written to stderr and answered with their default button, or with the answer a caller (a test)
// set beforehand when that is one of the box's buttons.
#include <windows.h>

#include "platform/surface.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
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

// ---------------------------------------------------------------------------------------------
// The clipboard (one per process; the data handles are kept as given), help and sounds.

namespace {
struct Clipboard {
    std::mutex mutex;
    bool open = false;
    DWORD openThread = 0;
    std::map<UINT, HANDLE> data;
};
Clipboard& clipboard() {
    static Clipboard* instance = new Clipboard();
    return *instance;
}
bool openedByThisThread(const Clipboard& board) {
    return board.open && board.openThread == GetCurrentThreadId();
}

std::mutex helpMutex;
PlatformHelpRecord lastHelp{};
std::atomic<int> beepCount{0};
std::atomic<UINT> lastBeep{0};
} // namespace

extern "C" {

BOOL OpenClipboard(HWND) {
    Clipboard& board = clipboard();
    std::lock_guard<std::mutex> guard(board.mutex);
    if (board.open && board.openThread != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    board.open = true;
    board.openThread = GetCurrentThreadId();
    return TRUE;
}

BOOL CloseClipboard() {
    Clipboard& board = clipboard();
    std::lock_guard<std::mutex> guard(board.mutex);
    if (!openedByThisThread(board)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    board.open = false;
    board.openThread = 0;
    return TRUE;
}

BOOL EmptyClipboard() {
    Clipboard& board = clipboard();
    {
        std::lock_guard<std::mutex> guard(board.mutex);
        if (!openedByThisThread(board)) {
            SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
            return FALSE;
        }
        board.data.clear();
    }
    platform::display().clipboardChanged(0, nullptr); // other programs lose what it offered
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    Clipboard& board = clipboard();
    {
        std::lock_guard<std::mutex> guard(board.mutex);
        if (!openedByThisThread(board)) {
            SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
            return nullptr;
        }
        if (format == 0 || data == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        board.data[format] = data;
    }
    platform::display().clipboardChanged(format, data); // a live display offers it to others
    return data;
}

HANDLE GetClipboardData(UINT format) {
    Clipboard& board = clipboard();
    std::lock_guard<std::mutex> guard(board.mutex);
    if (!openedByThisThread(board)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return nullptr;
    }
    auto found = board.data.find(format);
    if (found == board.data.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return found->second;
}

BOOL IsClipboardFormatAvailable(UINT format) {
    Clipboard& board = clipboard();
    std::lock_guard<std::mutex> guard(board.mutex);
    return board.data.count(format) != 0 ? TRUE : FALSE;
}

BOOL WinHelpA(HWND window, LPCSTR helpFile, UINT command, uintptr_t data) {
    std::lock_guard<std::mutex> guard(helpMutex);
    copyText(lastHelp.file, sizeof lastHelp.file, helpFile);
    lastHelp.command = command;
    lastHelp.data = data;
    lastHelp.window = window;
    ++lastHelp.count;
    return TRUE;
}

void PlatformLastHelp(PlatformHelpRecord* record) {
    std::lock_guard<std::mutex> guard(helpMutex);
    if (record != nullptr) *record = lastHelp;
}

BOOL MessageBeep(UINT type) {
    lastBeep.store(type);
    ++beepCount;
    return TRUE;
}

int PlatformBeepCount(UINT* lastType) {
    if (lastType != nullptr) *lastType = lastBeep.load();
    return beepCount.load();
}

} // extern "C"
