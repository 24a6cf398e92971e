#include "maximizer/pressane_plugin.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orq {
namespace {

constexpr int32_t kKindInteger = kKindScalar;
constexpr float kHeadroomMeterDefault = 7.0f;
constexpr float kGainReachedMeterDefault = 1.0f;
// The component build refuses streams above this rate.
constexpr int32_t kMaxStreamRateHz = 48000;
constexpr int32_t kMaxStreamChannels = 2;

constexpr std::array<ParameterDef, kPressaneParameterCount> kParameterDefs{{
    {"DesGain", kKindFloat, 0.0f, 0, 0, "Desired Gain"},
    {"Comp", kKindFloat, 0.0f, 0, 0, "More Density"},
    {"HeadRoom", kKindInteger, 0.0f, 0, 0, "Soft Hard"},
    {"Boost", kKindInteger, 0.0f, 0, 0, "Boost"},
    {nullptr, kKindFloat, kHeadroomMeterDefault, 0, 0, nullptr},
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

const PluginIdentity kPressaneIdentity{1, fourCC("Qprs"), "Orq Pressane"};

const ParameterTable kPressaneTable{fourCC("Qprs"), "Orq Pressane", kParameterDefs};

bool isSetting(int32_t index) {
    return index >= 0 && index < kPressaneParameterCount && kParameterDefs[index].key != nullptr;
}

// Gives one setting to the engine (which clamps it) and returns the value the engine holds.
float applySetting(maximizer::MaximizerEngine& engine, int32_t index, float value) {
    const maximizer::MaximizerSettings& s = engine.settings();
    switch (index) {
    case kPressaneDesiredGain:
        engine.setDesiredGain(value);
        return s.desiredGainDb;
    case kPressaneDensity:
        engine.setDensity(value);
        return s.density;
    case kPressaneHeadroom:
        engine.setHeadroom(value);
        return static_cast<float>(s.headroom);
    case kPressaneBoost:
        engine.setBoost(value);
        return s.boost ? 1.0f : 0.0f;
    case kPressaneAudition:
        engine.setAudition(value);
        return s.audition ? 1.0f : 0.0f;
    default:
        return value;
    }
}

// Holds the plug-in's lock for one scope.
class LockScope {
  public:
    explicit LockScope(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~LockScope() { LeaveCriticalSection(&lock_); }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

  private:
    CRITICAL_SECTION& lock_;
};

} // namespace

const ParameterTable& pressaneParameterTable() {
    return kPressaneTable;
}

const PressaneAnnouncement& pressaneAnnouncement(int32_t index) {
    return kAnnouncements[std::clamp<int32_t>(index, 0, kPressaneParameterCount - 1)];
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

PressanePlugin::PressanePlugin(ParameterSet* parameters, HostCallback host, void* hostContext)
    : AudioPlugin(kPressaneIdentity, parameters, host, hostContext) {}

namespace {
constexpr float kRestingHeadroomMeterDb = 6.0f;
constexpr float kRestingGainReachedMeter = 1.0f;
} // namespace

PressanePlugin::~PressanePlugin() {
    engine_.close();
    // The values this instance hands on to the next (through the library's default set) carry
    // resting meters: no headroom used, all of the desired gain reached.
    auto& set = static_cast<TableParameterSet&>(parameters());
    set.setValue(kPressaneHeadroomMeter, kRestingHeadroomMeterDb);
    set.setValue(kPressaneGainReachedMeter, kRestingGainReachedMeter);
}

void PressanePlugin::runEngine(float* const* channels, int32_t channelCount, int32_t frames) {
    {
        LockScope hold(lock());
        engine_.setBypassWithDelay(bypassWithDelay() != 0.0f);
        engine_.setMute(mute() != 0.0f);
    }
    if (channelCount < engine_.channels()) {
        // Fewer arrays than the engine was opened for: nothing safe to compute.
        for (int32_t c = 0; c < channelCount; ++c)
            std::fill_n(channels[c], frames, 0.0f);
        return;
    }
    engine_.process(channels, channels, frames, maximizer::OutputMode::Replace, &lock());
}

int32_t PressanePlugin::process(AudioBuffers& buffers) {
    const int32_t frames = std::min(buffers.frames, buffers.capacity);
    if (frames <= 0) return 0;
    float** inputs = buffers.inputs();
    float** outputs = buffers.outputs();
    const int32_t channels = std::min(buffers.inputChannels, buffers.outputChannels);
    if (!engine_.isOpen() || channels < engine_.channels()) {
        for (int32_t c = 0; c < buffers.outputChannels; ++c)
            std::fill_n(outputs[c], frames, 0.0f);
        return frames;
    }
    if (inputs != outputs) {
        for (int32_t c = 0; c < engine_.channels(); ++c)
            std::copy_n(inputs[c], frames, outputs[c]);
    }
    runEngine(outputs, channels, frames);
    return frames;
}

int32_t PressanePlugin::processReplacing(AudioBuffers&) {
    return kStatusNotSupported5;
}

void PressanePlugin::loadSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    for (int32_t index = 0; index < kPressaneParameterCount; ++index) {
        if (!isSetting(index) || !store->isSelected(store, index)) continue;
        LockScope hold(lock());
        const float held = applySetting(engine_, index, store->getFloat(store, index));
        parameters().setFloat(index, held);
    }
}

void PressanePlugin::saveSettings(ParameterInterface* store) {
    if (store == nullptr) return;
    for (int32_t index = 0; index < kPressaneParameterCount; ++index) {
        if (!isSetting(index) || !store->isSelectedForWrite(store, index)) continue;
        LockScope hold(lock());
        store->setFloat(store, index, parameters().getFloat(index));
    }
    if (store->getMode(store) != kModeUnnamed) return;
    LockScope hold(lock());
    maximizer::MeterValues meters;
    if (!engine_.readMeters(meters)) return;
    store->setFloat(store, kPressaneHeadroomMeter, meters.headroomDb);
    store->setFloat(store, kPressaneGainReachedMeter, meters.gainReached);
}

int32_t PressanePlugin::open(OpenFormat& format) {
    format.extra = 0;
    for (int32_t index = 0; index < kPressaneParameterCount; ++index) {
        if (!isSetting(index)) continue;
        const float stored = parameters().getFloat(index);
        const float held = applySetting(engine_, index, stored);
        if (held != stored) parameters().setFloat(index, held); // out of range or not a number
    }
    if (format.channels < 1 || format.channels > kMaxStreamChannels) return kStatusChannelsRefused;
    if (!engine_.open(format.sampleRate, format.channels)) return kStatusRateRefused;
    const int32_t tailFrames = engine_.latencyFrames();
    tailStorage_.assign(static_cast<size_t>(tailFrames * format.channels), 0.0f);
    tailChannels_.resize(static_cast<size_t>(format.channels));
    for (int32_t c = 0; c < format.channels; ++c)
        tailChannels_[c] = tailStorage_.data() + static_cast<size_t>(c) * tailFrames;
    return 0;
}

int32_t PressanePlugin::close() {
    engine_.close();
    tailStorage_.clear();
    tailStorage_.shrink_to_fit();
    tailChannels_.clear();
    return 0;
}

int32_t PressanePlugin::start() {
    LockScope hold(lock());
    engine_.start();
    return 0;
}

int32_t PressanePlugin::stop() {
    if (!engine_.isOpen()) return 0;
    if (hostRequest(kRequestHostMode, 0, nullptr) != kHostModeTakesTail) return 0;
    const int32_t frames = engine_.latencyFrames();
    std::fill(tailStorage_.begin(), tailStorage_.end(), 0.0f);
    runEngine(tailChannels_.data(), engine_.channels(), frames);
    TailRecord tail{tailChannels_.data(), frames, engine_.channels(), 0};
    if (hostRequest(kRequestTake, 0, &tail) == 0) return kStatusTailNotTaken;
    return 0;
}

int32_t PressanePlugin::checkFormat(int32_t channels, int32_t* outputChannels, int32_t* sampleRate,
                                    int32_t* extra) {
    if (sampleRate == nullptr) return kStatusRateRefused;
    if (*sampleRate > kMaxStreamRateHz || *sampleRate < maximizer::kMinSampleRateHz)
        return kStatusRateRefused;
    if (channels < 1 || channels > kMaxStreamChannels) return kStatusChannelsRefused;
    if (outputChannels != nullptr) *outputChannels = channels;
    if (extra != nullptr) *extra = 0;
    return 0;
}

int32_t PressanePlugin::latency() {
    if (engine_.isOpen()) return engine_.latencyFrames();
    return std::max(0, 2 * maximizer::MaximizerEngine::lookAheadFrames(sampleRate()));
}

void PressanePlugin::setBypassWithDelay(float value) {
    engine_.setBypassWithDelay(value != 0.0f);
}

AudioPlugin* createPressanePlugin(ParameterSet* parameters, HostCallback host, void* hostContext) {
    try {
        if (parameters == nullptr) parameters = new PressaneParameterSet();
    } catch (...) {
        return nullptr;
    }
    try {
        return new PressanePlugin(parameters, host, hostContext);
    } catch (...) {
        parameters->release();
        return nullptr;
    }
}

ParameterSet* createPressaneParameters() {
    try {
        return new PressaneParameterSet();
    } catch (...) {
        return nullptr;
    }
}

} // namespace orq
