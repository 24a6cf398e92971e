#include "plax/pressane_plax_text.h"

#include <cmath>
#include <cstdio>

namespace orq::plax {

namespace {

std::string format(const char* pattern, double value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

} // namespace

std::string desGainText(float gainDb) {
    return format("%.1f", std::trunc(2.0 * gainDb) * 0.5);
}

std::string densityText(float density) { return format("%.2f", density); }

std::string headroomText(float headroom) {
    if (headroom > 0.5f) return format("+%1.f", headroom);
    if (headroom >= -0.5f) return "0";
    return format("%1.f", headroom);
}

std::string peakText(float peakDb, float floorDb) {
    if (peakDb > 0.0f) return "";
    if (peakDb < floorDb || std::isnan(peakDb)) return "---";
    char text[16];
    std::snprintf(text, sizeof text, "%2i", static_cast<int>(std::trunc(peakDb)));
    return text;
}

} // namespace orq::plax
