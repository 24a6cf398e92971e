// The editors of the Plax builds, as factories the deliverables hand to their effects; each
// editor takes its bitmaps from the library the factory is linked into.
#pragma once

#include "plax/suite_effect.h"

namespace orq::plax {

EditorFactory pressaneEditorFactory();
EditorFactory compressorEditorFactory();

} // namespace orq::plax
