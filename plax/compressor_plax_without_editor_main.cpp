// A test library: compressor_plax without its editor, for hosts' handling of an effect that has
// none. Built into the test plug-in folder, never shipped.
#include "plax/compressor_plax.h"

extern "C" __attribute__((visibility("default"))) PlaxEffect* plaxCompressorWithoutEditorMain(
    PlaxHostCallback host) __asm__("main");

// [ui-thread] allocates.
PlaxEffect* plaxCompressorWithoutEditorMain(PlaxHostCallback host) {
    return orq::plax::createCompressorPlax(host, nullptr);
}
