// The value texts of pressane_plax's editor fields, each from the raw value.
#pragma once

#include <string>

namespace orq::plax {

// "%.1f" of trunc(2 × value) × 0.5: 7.74 shows "7.5".
std::string desGainText(float gainDb);
// "%.2f".
std::string densityText(float density);
// "+%1.f" above 0.5, "0" from −0.5 to 0.5, "%1.f" below −0.5.
std::string headroomText(float headroom);
// Empty above 0 dB; the truncated dB as "%2i" from `floorDb` up; "---" below.
std::string peakText(float peakDb, float floorDb);
constexpr float kInputPeakFloorDb = -40.0f;
constexpr float kOutputPeakFloorDb = -10.0f;

} // namespace orq::plax
