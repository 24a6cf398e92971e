// The one export of pressane_plax.so: `main`, the Plax entry point. Compiled only into the
// deliverable (a test program has a main of its own).
#include "plax/plax_editor_factories.h"
#include "plax/pressane_plax.h"

// The exported symbol is named "main"; the C++ name differs, since a C++ `main` must be the
// program's.
extern "C" __attribute__((visibility("default"))) PlaxEffect* plaxPressaneMain(PlaxHostCallback host)
    __asm__("main");

// [ui-thread] allocates.
PlaxEffect* plaxPressaneMain(PlaxHostCallback host) {
    return orq::plax::createPressanePlax(host, orq::plax::pressaneEditorFactory());
}
