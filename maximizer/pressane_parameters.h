// The parameter set of "Orq Pressane": five settings and two meters, the one table of keys,
// kinds, defaults and the ranges announced to hosts.
#pragma once

#include "runtime/parameter_set.h"

#include <cstdint>

namespace orq::maximizer {

// Parameter indices of the maximizer's set.
enum PressaneParameter : int32_t {
    kPressaneDesiredGain = 0,
    kPressaneDensity = 1,
    kPressaneHeadroom = 2,
    kPressaneBoost = 3,
    kPressaneHeadroomMeter = 4,
    kPressaneGainReachedMeter = 5,
    kPressaneAudition = 6,
    kPressaneParameterCount = 7,
};

// The meters' values before any audio (the editor's resting display) and the ones a destroyed
// instance hands on to the next through the library's default set.
constexpr float kHeadroomMeterDefaultDb = 7.0f;
constexpr float kGainReachedMeterDefault = 1.0f;
constexpr float kRestingHeadroomMeterDb = 6.0f;
constexpr float kRestingGainReachedMeter = 1.0f;

// The description the set announces to hosts (getInfo), per index.
struct PressaneAnnouncement {
    float minimum;
    float maximum;
    float step;
    const char* unit;
};

const ParameterTable& pressaneParameterTable();
// The announcement of index (clamped to the table).
const PressaneAnnouncement& pressaneAnnouncement(int32_t index);
// True for the five keyed settings (0, 1, 2, 3, 6), false for the meters and anything else.
bool isPressaneSetting(int32_t index);

// The maximizer's parameter set: the table's values with the announced ranges.
class PressaneParameterSet : public TableParameterSet {
  public:
    PressaneParameterSet();
    PressaneParameterSet(const PressaneParameterSet& other) = default;
    ParameterSet* clone() const override;
    void getInfo(int32_t index, ParameterInfo* info) const override;
};

} // namespace orq::maximizer

namespace orq {

// Creator of a fresh set; null on any failure.
ParameterSet* createPressaneParameters();

} // namespace orq
