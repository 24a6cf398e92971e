// What a Plax effect and its editor see of each other. The effect's dispatcher hands the
// editor opcodes (rectangle, open, close, idle, key) to an `Editor` (through `HostedEditor`,
// the standard's editor base); the editor reads and sets the effect's parameters through
// `EditorEffect`, which the effect implements over its parameter table.
#pragma once

#include <windows.h>

namespace orq::plax {

class EditorEffect {
  public:
    virtual ~EditorEffect() = default;
    // The normalised value 0 … 1 (the host's view). [ui-thread]
    virtual float normalizedParameter(int index) = 0;
    // Sets a host parameter from its normalised value (quantised to the parameter's steps),
    // tells the host that the user changed it, and tells the editor (parameterChanged).
    // [ui-thread]
    virtual void setParameterAutomated(int index, float normalized) = 0;
    // The raw value in the parameter's own unit, leaving its changed flag as it is (the engine
    // still has to see a change). [ui-thread]
    virtual float rawValue(int index) = 0;
    // Writes the raw value (sets the changed flag). [ui-thread]
    virtual void setRawValue(int index, float value) = 0;
    virtual float minimum(int index) = 0;
    virtual float maximum(int index) = 0;
    // Copies up to `size` bytes of a block parameter; the number copied. [ui-thread]
    virtual int readBlock(int index, void* bytes, int size) = 0;
};

class Editor {
  public:
    virtual ~Editor() = default;
    // The frame's size (the editor-rectangle opcode). [ui-thread]
    virtual int widthPixels() const = 0;
    virtual int heightPixels() const = 0;
    // Opens the frame inside the host's window; false when the frame could not be made.
    // [ui-thread, allocates]
    virtual bool open(HWND parent) = 0;
    // Destroys the frame and its controls. [ui-thread]
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The host's idle call: meters, then the library's redraws. [ui-thread]
    virtual void idle() = 0;
    // The effect set a host parameter (by the host or from the editor): the controls follow.
    // Nothing happens while closed. [ui-thread]
    virtual void parameterChanged(int index) = 0;
    // A key the host passes on (the key opcode); true when the editor used it. [ui-thread]
    virtual bool keyDown(int /*character*/, int /*virtualKey*/, int /*modifiers*/) {
        return false;
    }
};

} // namespace orq::plax
