#include "plax/pressane_plax.h"

#include <cmath>
#include <cstring>

namespace orq::plax {

// ---- Adapter ----

PressaneAdapter::PressaneAdapter() : engine_(maximizer::kPlaxOptions) {}

bool PressaneAdapter::open(float sampleRateHz) {
    return engine_.open(static_cast<int32_t>(sampleRateHz), kAdapterChannels);
}

void PressaneAdapter::reset() {
    engine_.start();
    inputPeak_.fill(0.0f);
    outputPeak_.fill(0.0f);
    silentFrames_ = 0;
    resetMeters();
}

void PressaneAdapter::applyParameters(ParameterTable& table) {
    for (int32_t i = 0; i < kPressaneHostParameters; ++i) {
        if (!table.isChanged(i)) continue;
        const float value = table.getValue(i);
        switch (i) {
        case kPressaneDesGain: engine_.setDesiredGain(value); break;
        case kPressaneDensity: engine_.setDensity(value); break;
        case kPressaneHeadroom: engine_.setHeadroom(std::floor(value)); break;
        case kPressaneBoost: engine_.setBoost(value); break;
        default: break;
        }
    }
}

void PressaneAdapter::runEngine(float** inputs, float** outputs, int32_t frames,
                                ProcessMode mode) {
    engine_.process(inputs, outputs, frames,
                    mode == ProcessMode::Replace ? maximizer::OutputMode::Replace
                                                 : maximizer::OutputMode::Accumulate);
}

void PressaneAdapter::publishMeters(ParameterTable& table) {
    if (running_) {
        maximizer::MeterValues meters;
        engine_.readMeters(meters);
        table.setValue(kPressaneGainReached, meters.gainReached);
        table.setValue(kPressaneHeadroomMeter, meters.headroomDb);
    } else {
        table.setValue(kPressaneGainReached, kSuspendedGainReached);
        table.setValue(kPressaneHeadroomMeter, kSuspendedHeadroomDb);
    }
    const std::array<float, 4> db = smoothedPeaksDb();
    table.writeFloats(kPressaneInputPeaks, db.data(), 2);
    table.writeFloats(kPressaneOutputPeaks, db.data() + 2, 2);
}

// ---- Effect ----

PressanePlax::PressanePlax(PlaxHostCallback host)
    : SuiteEffect(host, kPressaneHostParameters, kPressaneTableSize, kPressaneProgramBytes) {
    setUniqueId(kPressaneUniqueId);
}

void PressanePlax::defineParameters(ParameterTable& table) {
    table.define(kPressaneDesGain, {0.0f, 0.0f, 12.0f, 0.5f, "dB", "DesGain"});
    table.define(kPressaneDensity, {0.0f, 0.0f, 1.0f, 0.05f, "dB", "Density"});
    table.define(kPressaneHeadroom, {0.0f, -9.0f, 9.0f, 1.0f, "", "Headroom"});
    table.define(kPressaneBoost, {0.0f, 0.0f, 1.0f, 1.0f, "", "Boost"});
    table.define(kPressaneHeadroomMeter, {6.0f, -3.0f, 6.0f, 1.0f, "", ""});
    table.define(kPressaneGainReached, {0.0f, 0.0f, 0.9f, 0.1f, "", ""});
    table.define(kPressaneInputPeaks, {-40.0f, -40.0f, 0.0f, 0.001f, "", "", 8});
    table.define(kPressaneOutputPeaks, {-10.0f, -10.0f, 0.0f, 0.001f, "", "", 8});
    const float start[2] = {kPeakBlockStartDb, kPeakBlockStartDb};
    table.writeFloats(kPressaneInputPeaks, start, 2);
    table.writeFloats(kPressaneOutputPeaks, start, 2);
}

std::unique_ptr<EngineAdapter> PressanePlax::createAdapter(float sampleRateHz) {
    auto adapter = std::make_unique<PressaneAdapter>();
    if (!adapter->open(sampleRateHz)) return nullptr;
    return adapter;
}

void PressanePlax::writeProgram(uint8_t* program) {
    for (int32_t i = 0; i < kPressaneHostParameters; ++i) {
        const float value = table_->getNormalised(i);
        std::memcpy(program + 4 * i, &value, 4); // as this machine holds it
    }
}

void PressanePlax::readProgram(const uint8_t* program) {
    for (int32_t i = 0; i < kPressaneHostParameters; ++i) {
        float value = 0.0f;
        std::memcpy(&value, program + 4 * i, 4);
        table_->setNormalised(i, value);
    }
}

PlaxEffect* createPressanePlax(PlaxHostCallback host, EditorFactory editor) {
    if (!host || host(nullptr, kPlaxHostVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    PressanePlax* effect = nullptr;
    try {
        effect = new PressanePlax(host);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    effect->initialise(editor);
    if (effect->constructionFailed()) {
        delete effect;
        return nullptr;
    }
    return effect->record();
}

} // namespace orq::plax
