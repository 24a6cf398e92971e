#include "maximizer/pressane_parameters.h"

#include "runtime/plugin_glue.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orq::maximizer {
namespace {

constexpr int32_t kKindInteger = kKindScalar;

constexpr std::array<ParameterDef, kPressaneParameterCount> kParameterDefs{{
    {"DesGain", kKindFloat, 0.0f, 0, 0, "Desired Gain"},
    {"Comp", kKindFloat, 0.0f, 0, 0, "More Density"},
    {"HeadRoom", kKindInteger, 0.0f, 0, 0, "Soft Hard"},
    {"Boost", kKindInteger, 0.0f, 0, 0, "Boost"},
    {nullptr, kKindFloat, kHeadroomMeterDefaultDb, 0, 0, nullptr},
    {nullptr, kKindFloat, kGainReachedMeterDefault, 0, 0, nullptr},
    {"Audition", kKindInteger, 0.0f, 0, 0, "Audition"},
}};

// Announced ranges. HeadRoom is announced as −4 … 4 while the editor's rocker and the engine
// cover −9 … 9; the meters carry the generic description.
constexpr std::array<PressaneAnnouncement, kPressaneParameterCount> kAnnouncements{{
    {0.0f, 12.0f, 0.5f, "dB"},
    {0.0f, 1.0f, 0.05f, "dB"},
    {-4.0f, 4.0f, 1.0f, ""},
    {0.0f, 1.0f, 1.0f, ""},
    {-1.0f, 1.0f, 0.1f, ""},
    {-1.0f, 1.0f, 0.1f, ""},
    {0.0f, 1.0f, 1.0f, ""},
}};

const ParameterTable kPressaneTable{fourCC("Qprs"), "Orq Pressane", kParameterDefs};

} // namespace

const ParameterTable& pressaneParameterTable() {
    return kPressaneTable;
}

const PressaneAnnouncement& pressaneAnnouncement(int32_t index) {
    return kAnnouncements[std::clamp<int32_t>(index, 0, kPressaneParameterCount - 1)];
}

bool isPressaneSetting(int32_t index) {
    return index >= 0 && index < kPressaneParameterCount && kParameterDefs[index].key != nullptr;
}

PressaneParameterSet::PressaneParameterSet() : TableParameterSet(kPressaneTable) {}

ParameterSet* PressaneParameterSet::clone() const {
    return new PressaneParameterSet(*this);
}

void PressaneParameterSet::getInfo(int32_t index, ParameterInfo* info) const {
    if (info == nullptr || !validIndex(index)) return;
    const PressaneAnnouncement& a = kAnnouncements[index];
    info->kind = kParameterDefs[index].kind;
    info->minimum = a.minimum;
    info->maximum = a.maximum;
    info->step = a.step;
    std::memset(info->unit, 0, sizeof(info->unit));
    std::strncpy(info->unit, a.unit, sizeof(info->unit) - 1);
    info->flag = 1;
}

} // namespace orq::maximizer

namespace orq {

ParameterSet* createPressaneParameters() {
    return createParameterSetOrNull<maximizer::PressaneParameterSet>();
}

} // namespace orq
