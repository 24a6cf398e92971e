// The one export of compressor_plax.so: `main`, the Plax entry point. Compiled only into the
// deliverable (a test program has a main of its own).
#include "plax/plax_editor_factories.h"
#include "plax/compressor_plax.h"

// The exported symbol is named "main"; the C++ name differs, since a C++ `main` must be the
// program's.
extern "C" __attribute__((visibility("default"))) PlaxEffect* plaxCompressorMain(PlaxHostCallback host)
    __asm__("main");

// [ui-thread] allocates.
PlaxEffect* plaxCompressorMain(PlaxHostCallback host) {
    return orq::plax::createCompressorPlax(host, orq::plax::compressorEditorFactory());
}
