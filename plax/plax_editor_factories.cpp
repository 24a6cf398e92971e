#include "plax/plax_editor_factories.h"

#include "plax/compressor_plax_editor.h"
#include "plax/hosted_editor.h"
#include "plax/pressane_plax_editor.h"

#include <windows.h>

namespace orq::plax {

namespace {

// The library these factories are linked into: its resources hold the editors' bitmaps.
HINSTANCE thisLibrary() {
    static const char anchor = 0;
    return PlatformModuleFromAddress(&anchor);
}

// [ui-thread] allocates.
std::unique_ptr<PlaxEditor> makePressaneEditor(SuiteEffect& effect) {
    return std::make_unique<HostedEditor>(
        &effect, std::make_unique<PressanePlaxEditor>(effect, thisLibrary()));
}

// [ui-thread] allocates.
std::unique_ptr<PlaxEditor> makeCompressorEditor(SuiteEffect& effect) {
    return std::make_unique<HostedEditor>(
        &effect, std::make_unique<CompressorPlaxEditor>(effect, thisLibrary()));
}

} // namespace

EditorFactory pressaneEditorFactory() { return makePressaneEditor; }
EditorFactory compressorEditorFactory() { return makeCompressorEditor; }

} // namespace orq::plax
