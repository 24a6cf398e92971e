#include "runtime/colour_management.h"

#include "runtime/plugin_glue.h"

namespace orq {
namespace {

struct ColourTable {
    ColourTable() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    int openCount = 0;
    bool active = false;
    ColourClient* slots[kColourSlots + 1] = {}; // slot 0 unused
    HWND frame = nullptr;
    WNDPROC previousProcedure = nullptr;
};

ColourTable& table() {
    static ColourTable t; // lives as long as the library: frame procedures may still run
    return t;
}

bool displayHasPalette(HWND window) {
    HDC dc = GetDC(window);
    if (dc == nullptr) return false;
    const bool palette = (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0;
    ReleaseDC(window, dc);
    return palette;
}

// The host frame's procedure while editors are open: a palette change makes every other editor
// realise its palette in the background (on its own thread, through its window), then the
// frame's own procedure runs.
LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ColourTable& t = table();
    HWND editors[kColourSlots] = {};
    int count = 0;
    WNDPROC previous = nullptr;
    {
        ScopedLock lock(t.lock);
        previous = t.previousProcedure;
        if (message == WM_PALETTECHANGED)
            for (int slot = 1; slot <= kColourSlots; ++slot)
                if (t.slots[slot] != nullptr) {
                    HWND editor = t.slots[slot]->colourWindow();
                    if (editor != reinterpret_cast<HWND>(wParam)) editors[count++] = editor;
                }
    }
    for (int i = 0; i < count; ++i)
        SendMessageA(editors[i], WM_PALETTECHANGED, wParam, lParam);
    if (previous == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

} // namespace

int colourEditorOpened(ColourClient* editor) {
    ColourTable& t = table();
    int slot = 0;
    bool warn = false;
    {
        ScopedLock lock(t.lock);
        slot = ++t.openCount;
        if (slot > kColourSlots) {
            warn = true;
            slot = 0; // kept out of the table: no slot, no frame state touched
        } else if (displayHasPalette(editor->colourWindow())) {
            HWND frame = FindWindowA(kHostFrameClass, nullptr);
            if (frame != nullptr) {
                t.active = true;
                t.slots[slot] = editor;
                if (slot == 1) {
                    t.frame = frame;
                    t.previousProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                        frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&frameProcedure)));
                }
            } else {
                slot = 0;
            }
        } else {
            slot = 0;
        }
        editor->setColourSlot(slot);
    }
    // The box waits for its answer: shown outside the lock, so other editors go on.
    if (warn)
        MessageBoxA(editor->colourWindow(),
                    "Too many PlugIns.\nColormanagement may not work correctly", "PlugIn",
                    MB_OK | MB_ICONWARNING);
    return slot;
}

void colourEditorClosed(ColourClient* editor) {
    ColourTable& t = table();
    ScopedLock lock(t.lock);
    if (t.openCount > 0) --t.openCount;
    if (!t.active) return;
    int closing = 0;
    int last = 0;
    for (int slot = 1; slot <= kColourSlots; ++slot) {
        if (t.slots[slot] == editor) closing = slot;
        if (t.slots[slot] != nullptr) last = slot;
    }
    if (closing == 0) return; // an editor outside the table
    editor->setColourSlot(0);
    if (last != closing) {
        t.slots[closing] = t.slots[last];
        t.slots[closing]->setColourSlot(closing);
    }
    t.slots[last] = nullptr;
    if (last == 1) {
        // The only editor in the table closed: the frame gets its own procedure back.
        if (IsWindow(t.frame))
            SetWindowLongPtrA(t.frame, GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(t.previousProcedure));
        t.frame = nullptr;
        t.previousProcedure = nullptr;
        t.active = false;
    }
}

bool colourEditorMessage(ColourClient* editor, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam, LRESULT* result) {
    bool active = false;
    {
        ScopedLock lock(table().lock);
        active = table().active;
    }
    switch (message) {
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) != window &&
            reinterpret_cast<HWND>(wParam) != editor->colourWindow())
            editor->realizePalette(false);
        return false; // the editor's own palette operation still runs
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        if (active) editor->realizePalette(false);
        return false;
    case WM_QUERYNEWPALETTE:
        *result = editor->realizePalette(true);
        return true;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!active || header == nullptr) return false;
        const int code = static_cast<int>(header->code);
        if (code != kNotifyClick && code != kNotifyRightClick) return false;
        *result = editor->realizePalette(true);
        return true;
    }
    default:
        return false;
    }
}

int colourOpenCount() {
    ScopedLock lock(table().lock);
    return table().openCount;
}
bool colourActive() {
    ScopedLock lock(table().lock);
    return table().active;
}
ColourClient* colourSlotEditor(int slot) {
    ScopedLock lock(table().lock);
    return slot >= 1 && slot <= kColourSlots ? table().slots[slot] : nullptr;
}
HWND colourFrameWindow() {
    ScopedLock lock(table().lock);
    return table().frame;
}

} // namespace orq
