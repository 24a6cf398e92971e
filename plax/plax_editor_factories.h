// The editors of the Plax builds, as factories the deliverables hand to their effects. The
// editor library supplies them; until it does, each returns null (an effect without editor).
#pragma once

#include "plax/suite_effect.h"

namespace orq::plax {

EditorFactory pressaneEditorFactory();
EditorFactory compressorEditorFactory();

} // namespace orq::plax
