// Inside the platform library only: what the resource code shares with the window system and
// the dialog manager.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Visible outside the library for the platform's own tests.
#define PLATFORM_TESTED __attribute__((visibility("default")))

// Implemented by the window system: the shared system cursor `id` (IDC_ARROW, IDC_SIZENS, ...),
// null for one it does not know. LoadCursorA with a null module hands over to it.
HCURSOR systemCursor(LPCSTR id);

// Implemented by the dialog manager: registers the predefined control classes ("STATIC",
// "BUTTON", "EDIT") once per process, so that CreateWindowExA finds them without a dialog.
void registerPredefinedClasses();

// An icon or cursor made from an icon or cursor resource; HICON and HCURSOR of the resource
// code point to one (isResourceIcon tells them from the window system's cursors).
struct IconImage {
    bool cursor = false;
    bool shared = false; // LoadIconA, LoadCursorA, LR_SHARED: never destroyed
    int width = 0;
    int height = 0;
    POINT hotspot{};              // cursors; the centre for icons
    std::vector<uint32_t> pixels; // width * height, 0xAARRGGBB, row 0 at the top; alpha 0 or 255
                                  // for images with a mask, any alpha for 32-bit images
};
PLATFORM_TESTED bool isResourceIcon(const void* handle);

// A dialog template as its DLGTEMPLATE resource holds it (dialog units; strings in UTF-8). A
// class or title given by number has an empty name and the number in the Id field.
struct DialogItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    std::string className; // empty: classAtom (0x80 button, 0x81 edit, 0x82 static,
    WORD classAtom = 0;    //        0x83 list box, 0x84 scroll bar, 0x85 combo box)
    std::string title;     // empty with titleId != 0: a resource number (SS_BITMAP, ...)
    WORD titleId = 0;
    std::vector<BYTE> creationData;
};
struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;
    WORD menuId = 0;
    std::string className;
    WORD classAtom = 0;
    std::string title;
    WORD pointSize = 0; // with DS_SETFONT
    std::string font;
    std::vector<DialogItemTemplate> items;
};
constexpr DWORD kDialogSetFont = 0x40; // DS_SETFONT
// Reads a DLGTEMPLATE (not the extended form); false for a block that is cut short or holds the
// extended form.
PLATFORM_TESTED bool readDialogTemplate(const void* data, size_t size, DialogTemplate* dialog);

// The module whose resource table is registered under the file `fileName` (a path as
// GetModuleFileNameA gives it, any path to the same file, or the bare file name); null when no
// loaded module has that file.
PLATFORM_TESTED HMODULE moduleOfFile(const char* fileName);

// UTF-16 (as resources hold text) to UTF-8.
std::string utf8FromUtf16(const char16_t* text, size_t length);

} // namespace platform
