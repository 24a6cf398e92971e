// The demo's pictures of the matching filter's and the enhancer's editors.
#pragma once

#include "host/engine_window.h"

#include <filesystem>

namespace orq::host {

// Into dir (beside the demo's audio, which it reads: mix.wav and mix-bright.wav):
// tessaline-editor.png, the matching filter after learning the mix as the source and the bright
// mix as the destination, matched in third-octave mode while the bright mix plays; and
// brisquet-editor.png, the enhancer while the mix plays through it. A plug-in that is not built
// is left out.
void snapshotTessalineAndBrisquetEditors(const std::filesystem::path& dir, EngineWindow& engine);

} // namespace orq::host
