// Palette co-ordination of the editors of one library on a display with a palette: the open
// editors hold slots 1 to 16; the first one subclasses the host's "VORNIK_FRAME" window, whose
// palette changes then make every other editor realise its identity palette in the background.
//
// Threads: editors open and close on their own user-interface threads; the table is guarded by
// one library-wide lock, which the frame window's procedure also takes to read it (it never
// calls an editor's window while holding it: it copies the windows first).
#pragma once

#include <windows.h>

namespace orq {

constexpr int kColourSlots = 16;
constexpr const char* kHostFrameClass = "VORNIK_FRAME";
// Notification codes that realise the palette in the foreground (click, right click).
constexpr int kNotifyClick = -2;
constexpr int kNotifyRightClick = -5;

// What colour management needs of an editor.
class ColourClient {
  public:
    virtual ~ColourClient() = default;
    // The editor's top-level window (the one whose palette changes are its own).
    virtual HWND colourWindow() const = 0;
    // Realises the editor's identity palette; the answer is the realisation's result.
    virtual LRESULT realizePalette(bool foreground) = 0;
    // The slot the editor holds now (1..16), 0 when outside the table.
    virtual void setColourSlot(int slot) = 0;
};

// An editor opens: counted, warned beyond 16 (and kept out of the table), stored in its slot when
// the display has a palette and the host frame exists. Answers the slot, 0 when outside.
// [ui-thread]
int colourEditorOpened(ColourClient* editor);
// An editor closes: the last slot's editor moves into its slot; the only one restores the
// frame's procedure. [ui-thread]
void colourEditorClosed(ColourClient* editor);
// The palette messages of an editor's windows (step 5); true when consumed (answer in *result).
bool colourEditorMessage(ColourClient* editor, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam, LRESULT* result);

// For tests: the open count, the active flag, the editor in a slot (1..16), the subclassed frame.
int colourOpenCount();
bool colourActive();
ColourClient* colourSlotEditor(int slot);
HWND colourFrameWindow();

} // namespace orq
