// The parameter table of the suite's Plax plug-ins: a fixed array of parameter records with
// their ranges, steps, names and changed flags, and the normalised get and set the host uses.
//
// A record of size 4 keeps its float value in the record; any other size is a byte block kept
// beside it (meters, curve data). Setting a value of a record with `notify` sets its `changed`
// flag and counts it; the engine adapter reads changed values (clearing the flags) before it
// runs a block.
//
// Threads: values are set on the host's user-interface thread and read by the engine adapter
// on its audio thread; value, flag and count are atomics, so either side sees whole values. The
// byte blocks carry meters from the audio thread to the editor without a lock (a torn meter
// read shows a mixed value for one refresh, nothing worse).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace orq::plax {

constexpr int32_t kUnitLength = 16;
constexpr int32_t kNameLength = 32;
constexpr int32_t kFloatSize = 4;  // a record keeping its value in itself
constexpr int32_t kEditorHint = 1; // the editor hint every parameter here is defined with

struct ParameterRecord {
    std::atomic<float> value{0.0f};
    float defaultValue = 0.0f;
    float minimum = 0.0f;
    float maximum = 1.0f;
    float step = 0.0f;       // 0: continuous
    float normFactor = 1.0f; // 1 / (maximum − minimum), or 1 when the range is exactly 1
    float stepCount = 0.0f;  // (maximum − minimum) / step, or 0 when step is 0
    char unit[kUnitLength] = {};
    char name[kNameLength] = {};
    int32_t kind = kEditorHint;
    int32_t size = kFloatSize;
    std::atomic<int32_t> changed{0};
    int32_t notify = 0;
    std::vector<uint8_t> bytes; // the block of a record whose size is not 4
};

struct ParameterDefinition {
    float defaultValue;
    float minimum;
    float maximum;
    float step;
    const char* unit;
    const char* name;
    int32_t size = kFloatSize;
    bool notify = true; // defined with `changed` and notify set
};

class ParameterTable {
  public:
    // [ui-thread] allocates: `count` empty records.
    explicit ParameterTable(int32_t count);

    // [ui-thread] allocates a block record's bytes. Texts longer than their fields are cut.
    void define(int32_t index, const ParameterDefinition& definition);

    int32_t count() const { return count_; }
    bool contains(int32_t index) const { return index >= 0 && index < count_; }
    const ParameterRecord& record(int32_t index) const { return records_[size_t(index)]; }

    // [any-thread] no allocation. Every call ignores an index outside the table (reads give 0).
    // Set raw: stores the value; with notify, sets `changed` and counts it.
    void setValue(int32_t index, float value);
    // Get raw: the value, clearing `changed`.
    float getValue(int32_t index);
    // Read raw: the value, leaving `changed`.
    float readValue(int32_t index) const;
    // Normalised set: x (kept inside 0 … 1; not-a-number is ignored) quantised to the steps.
    void setNormalised(int32_t index, float x);
    // Normalised get: (value − minimum) × normFactor.
    float getNormalised(int32_t index) const;
    // Block bytes: at most the block's size; return the bytes copied.
    int32_t writeBytes(int32_t index, const void* data, int32_t size);
    int32_t readBytes(int32_t index, void* data, int32_t size) const;
    // Block floats (a block seen as native floats), for meters.
    void writeFloats(int32_t index, const float* values, int32_t count);
    float readFloat(int32_t index, int32_t position) const;

    bool isChanged(int32_t index) const;
    // Sets `changed` on every record with notify, and the count with them.
    void markAllChanged();
    int32_t changedCount() const { return changedCount_.load(std::memory_order_acquire); }

  private:
    void markChanged(ParameterRecord& record);

    int32_t count_;
    std::unique_ptr<ParameterRecord[]> records_;
    std::atomic<int32_t> changedCount_{0};
};

} // namespace orq::plax
