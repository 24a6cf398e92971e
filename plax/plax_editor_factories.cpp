#include "plax/plax_editor_factories.h"

namespace orq::plax {

// No editor library yet: both builds run without an editor.
EditorFactory pressaneEditorFactory() { return nullptr; }
EditorFactory compressorEditorFactory() { return nullptr; }

} // namespace orq::plax
