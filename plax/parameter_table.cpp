#include "plax/parameter_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace orq::plax {

ParameterTable::ParameterTable(int32_t count)
    : count_(std::max(count, 0)), records_(new ParameterRecord[size_t(count_)]) {}

void ParameterTable::define(int32_t index, const ParameterDefinition& d) {
    if (!contains(index)) return;
    ParameterRecord& r = records_[size_t(index)];
    r.value.store(d.defaultValue);
    r.defaultValue = d.defaultValue;
    r.minimum = d.minimum;
    r.maximum = d.maximum;
    r.step = d.step;
    const float range = d.maximum - d.minimum;
    r.normFactor = range == 1.0f || range == 0.0f ? 1.0f : 1.0f / range;
    r.stepCount = d.step > 0.0f ? range / d.step : 0.0f;
    std::snprintf(r.unit, sizeof r.unit, "%s", d.unit ? d.unit : "");
    std::snprintf(r.name, sizeof r.name, "%s", d.name ? d.name : "");
    r.kind = kEditorHint;
    r.size = d.size;
    r.notify = d.notify ? 1 : 0;
    if (d.size != kFloatSize) r.bytes.assign(size_t(std::max(d.size, 0)), 0);
    if (r.changed.exchange(0)) changedCount_.fetch_sub(1);
    if (d.notify) markChanged(r);
}

void ParameterTable::markChanged(ParameterRecord& r) {
    if (r.changed.exchange(1) == 0) changedCount_.fetch_add(1, std::memory_order_release);
}

void ParameterTable::setValue(int32_t index, float value) {
    if (!contains(index)) return;
    ParameterRecord& r = records_[size_t(index)];
    r.value.store(value, std::memory_order_relaxed);
    if (r.notify) markChanged(r);
}

float ParameterTable::getValue(int32_t index) {
    if (!contains(index)) return 0.0f;
    ParameterRecord& r = records_[size_t(index)];
    if (r.changed.exchange(0) != 0) changedCount_.fetch_sub(1, std::memory_order_acq_rel);
    return r.value.load(std::memory_order_relaxed);
}

float ParameterTable::readValue(int32_t index) const {
    return contains(index) ? records_[size_t(index)].value.load(std::memory_order_relaxed) : 0.0f;
}

void ParameterTable::setNormalised(int32_t index, float x) {
    if (!contains(index) || std::isnan(x)) return;
    const ParameterRecord& r = records_[size_t(index)];
    x = std::clamp(x, 0.0f, 1.0f);
    const float value = r.stepCount > 0.0f
                            ? std::floor(r.stepCount * x + 0.5f) * r.step + r.minimum
                            : r.minimum + (r.maximum - r.minimum) * x;
    setValue(index, value);
}

float ParameterTable::getNormalised(int32_t index) const {
    if (!contains(index)) return 0.0f;
    const ParameterRecord& r = records_[size_t(index)];
    return (r.value.load(std::memory_order_relaxed) - r.minimum) * r.normFactor;
}

int32_t ParameterTable::writeBytes(int32_t index, const void* data, int32_t size) {
    if (!contains(index) || !data || size <= 0) return 0;
    ParameterRecord& r = records_[size_t(index)];
    const int32_t n = std::min(size, int32_t(r.bytes.size()));
    if (n <= 0) return 0;
    std::memcpy(r.bytes.data(), data, size_t(n));
    if (r.notify) markChanged(r);
    return n;
}

int32_t ParameterTable::readBytes(int32_t index, void* data, int32_t size) const {
    if (!contains(index) || !data || size <= 0) return 0;
    const ParameterRecord& r = records_[size_t(index)];
    const int32_t n = std::min(size, int32_t(r.bytes.size()));
    if (n > 0) std::memcpy(data, r.bytes.data(), size_t(n));
    return std::max(n, 0);
}

void ParameterTable::writeFloats(int32_t index, const float* values, int32_t count) {
    if (!contains(index) || count <= 0) return;
    ParameterRecord& r = records_[size_t(index)];
    const size_t n = std::min(size_t(count) * sizeof(float), r.bytes.size());
    std::memcpy(r.bytes.data(), values, n); // meters: no changed flag
}

float ParameterTable::readFloat(int32_t index, int32_t position) const {
    if (!contains(index) || position < 0) return 0.0f;
    const ParameterRecord& r = records_[size_t(index)];
    if ((size_t(position) + 1) * sizeof(float) > r.bytes.size()) return 0.0f;
    float value = 0.0f;
    std::memcpy(&value, r.bytes.data() + size_t(position) * sizeof(float), sizeof value);
    return value;
}

bool ParameterTable::isChanged(int32_t index) const {
    return contains(index) && records_[size_t(index)].changed.load() != 0;
}

void ParameterTable::markAllChanged() {
    for (int32_t i = 0; i < count_; ++i)
        if (records_[size_t(i)].notify) markChanged(records_[size_t(i)]);
}

} // namespace orq::plax
