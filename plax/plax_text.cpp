// The standard's float-to-text helpers (plax/plax.h).
#include "plax/plax.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void writeText(char* text, const char* value) {
    std::snprintf(text, kPlaxParameterDisplayLength + 1, "%s", value);
}

void writeNumber(char* text, const char* format, double value) {
    if (!std::isfinite(value) || std::fabs(value) >= kPlaxHugeValue) {
        writeText(text, " Huge!");
        return;
    }
    std::snprintf(text, kPlaxParameterDisplayLength + 1, format, value);
}

} // namespace

extern "C" {

void plaxFloatToText(float value, char* text) {
    if (text) writeNumber(text, "%.2f", value);
}

void plaxDecibelsToText(float amplitude, char* text) {
    if (!text) return;
    if (amplitude <= 0.0f) {
        writeText(text, "-oo");
        return;
    }
    writeNumber(text, "%.2f", 20.0 * std::log10(static_cast<double>(amplitude)));
}

void plaxHertzToText(float samples, float sampleRateHz, char* text) {
    if (!text) return;
    if (samples == 0.0f) {
        writeText(text, "0");
        return;
    }
    writeNumber(text, "%.0f", static_cast<double>(sampleRateHz) / samples);
}

void plaxMillisecondsToText(float samples, float sampleRateHz, char* text) {
    if (!text) return;
    if (sampleRateHz <= 0.0f) {
        writeText(text, "0");
        return;
    }
    writeNumber(text, "%.3f", 1000.0 * static_cast<double>(samples) / sampleRateHz);
}

void plaxIntegerToText(int32_t value, char* text) {
    if (text) std::snprintf(text, kPlaxParameterDisplayLength + 1, "%d", static_cast<int>(value));
}

} // extern "C"
