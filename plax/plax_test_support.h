// A minimal Plax host for the tests: answers the version query and records automation.
#pragma once

#include "plax/plax.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orq::plax::testing {

inline int32_t& hostVersionAnswer() {
    static int32_t version = kPlaxStandardVersion;
    return version;
}

inline intptr_t testHost(PlaxEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == kPlaxHostVersion) return hostVersionAnswer();
    return 0;
}

inline intptr_t call(PlaxEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                     void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

inline std::string text(PlaxEffect* e, int32_t opcode, int32_t index = 0) {
    char buffer[kPlaxTextBufferSize] = {};
    call(e, opcode, index, 0, buffer);
    return buffer;
}

inline std::vector<uint8_t> chunk(PlaxEffect* e, bool preset) {
    void* data = nullptr;
    const intptr_t size = call(e, kPlaxGetChunk, preset ? 1 : 0, 0, &data);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

// Closes an effect at the end of a test.
struct EffectCloser {
    PlaxEffect* effect;
    ~EffectCloser() {
        if (effect) call(effect, kPlaxClose);
    }
};

} // namespace orq::plax::testing
