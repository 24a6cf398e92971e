#include "plax/compressor_plax.h"

#include "compressor/band_splitter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace orq::plax {

namespace {

constexpr int32_t kScratchFrames = 8192;
constexpr int32_t kMinRateHz = 8000;
constexpr int32_t kMaxRateHz = 384000;

uint32_t swapIfLittle(uint32_t word) {
    return std::endian::native == std::endian::little ? __builtin_bswap32(word) : word;
}

uint32_t loadWord(const uint8_t* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

float loadLittleEndianFloat(const uint8_t* p) {
    const uint32_t b = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                       uint32_t(p[3]) << 24;
    return std::bit_cast<float>(b);
}

// Native float from four bytes in big-endian order, or in this machine's order.
float loadFloat(const uint8_t* p, bool bigEndian) {
    const uint32_t word = loadWord(p);
    return std::bit_cast<float>(bigEndian ? swapIfLittle(word) : word);
}

void storeBigEndianFloat(uint8_t* p, float value) {
    const uint32_t word = swapIfLittle(std::bit_cast<uint32_t>(value));
    std::memcpy(p, &word, 4);
}

float curveFloat(const std::vector<uint8_t>& block, int32_t band, int32_t position) {
    float value = 0.0f;
    const size_t at = (size_t(band) * kCurveFloatsPerBand + size_t(position)) * 4;
    if (at + 4 <= block.size()) std::memcpy(&value, block.data() + at, 4);
    return value;
}

} // namespace

bool programIsBigEndian(const uint8_t* program) {
    for (int32_t i = 0; i < kCompHostParameters; ++i) {
        const float v = loadLittleEndianFloat(program + 4 * i);
        if (std::isnan(v) || v < kNormalisedLow || v > kNormalisedHigh ||
            (v > 0.0f && v < kTinyNormalised))
            return true;
    }
    return false;
}

CompressorPlaxSettings settingsOf(const ParameterTable& table, float sampleRateHz) {
    CompressorPlaxSettings s;
    s.bandCount = std::clamp(int32_t(table.readValue(kCompBands)), 1, compressor::kMaxBands);
    for (int32_t b = 0; b < kCompBandCount; ++b)
        s.bandGainsDb[size_t(b)] = table.readValue(kCompBandGain1 + b);
    const float topHz = sampleRateHz * 0.5f;
    s.bordersHz[0] = kLowestBorderHz;
    for (int32_t i = 1; i <= kCompBorderCount; ++i)
        s.bordersHz[size_t(i)] = std::min(std::exp2(table.readValue(kCompBorder1 + i - 1)), topHz);
    s.bordersHz[size_t(s.bandCount)] = topHz;
    if (s.bandCount < kCompBandCount) s.bordersHz[kCompBandCount] = topHz;
    const std::vector<uint8_t>& block = table.record(kCompCurves).bytes;
    for (int32_t b = 0; b < kCompBandCount; ++b) {
        compressor::BandShape& shape = s.shapes[size_t(b)];
        shape.count = int32_t(curveFloat(block, b, 0));
        for (int32_t p = 0; p < kCurvePoints; ++p) {
            shape.x[p] = curveFloat(block, b, 1 + p);
            shape.y[p] = curveFloat(block, b, 1 + kCurvePoints + p);
        }
    }
    return s;
}

// ---- Adapter ----

CompressorAdapter::CompressorAdapter(int32_t sampleRateHz)
    : engine_(kAdapterChannels, sampleRateHz) {
    for (std::vector<float>& s : scratch_) s.assign(kScratchFrames, 0.0f);
}

void CompressorAdapter::reset() {
    engine_.start();
    inputPeak_.fill(0.0f);
    outputPeak_.fill(0.0f);
    silentFrames_ = 0;
    resetMeters();
}

void CompressorAdapter::applyParameters(ParameterTable& table) {
    bool changed[kCompTableSize] = {};
    for (int32_t i = 0; i < kCompTableSize; ++i) changed[i] = table.isChanged(i);
    const CompressorPlaxSettings s = settingsOf(table, float(engine_.sampleRate()));
    if (changed[kCompType]) engine_.setCompType(int32_t(table.getValue(kCompType)));
    engine_.setBandGainsDb(s.bandGainsDb);
    engine_.setBordersHz(s.bordersHz);
    if (changed[kCompBands]) {
        table.getValue(kCompBands);
        // A new band count builds a new band set (this allocates).
        try {
            engine_.setBandCount(s.bandCount, s.bandGainsDb, s.bordersHz, s.shapes);
        } catch (const std::bad_alloc&) {
            // the running compressor stays
        }
    }
    for (int32_t b = 0; b < kCompBandCount; ++b)
        if (changed[kCompBandGain1 + b]) {
            table.getValue(kCompBandGain1 + b);
            if (b < engine_.bandCount()) engine_.applyBandGain(b);
        }
    for (int32_t i = 1; i <= kCompBorderCount; ++i)
        if (changed[kCompBorder1 + i - 1]) {
            table.getValue(kCompBorder1 + i - 1);
            if (i < engine_.bandCount()) engine_.applyBorder(i);
        }
    if (changed[kCompCurves]) {
        table.getValue(kCompCurves);
        engine_.setShapes(s.shapes);
    }
    if (changed[kCompActBand]) engine_.setActiveBand(int32_t(table.getValue(kCompActBand)));
    if (changed[kCompSolo]) engine_.setSolo(table.getValue(kCompSolo) >= 0.5f);
    if (changed[kCompGain]) engine_.setOutputDb(table.getValue(kCompGain));
    if (changed[kCompLimiter]) engine_.setSoftClip(table.getValue(kCompLimiter) >= 0.5f ? 1 : 0);
}

void CompressorAdapter::runEngine(float** inputs, float** outputs, int32_t frames,
                                  ProcessMode mode) {
    if (mode == ProcessMode::Replace) {
        engine_.process(inputs, outputs, frames);
        return;
    }
    for (int32_t done = 0; done < frames; done += kScratchFrames) {
        const int32_t n = std::min(kScratchFrames, frames - done);
        const float* in[kAdapterChannels];
        float* out[kAdapterChannels];
        for (int32_t c = 0; c < kAdapterChannels; ++c) {
            in[c] = inputs[c] + done;
            out[c] = scratch_[size_t(c)].data();
        }
        engine_.process(const_cast<float* const*>(in), out, n);
        for (int32_t c = 0; c < kAdapterChannels; ++c)
            for (int32_t t = 0; t < n; ++t) outputs[c][done + t] += out[c][t];
    }
}

void CompressorAdapter::publishMeters(ParameterTable& table) {
    const float meter = running_ ? engine_.publishMeter() : 0.0f;
    table.setValue(kCompPeak, std::clamp(meter, 0.0f, 1.0f));
    smoothedPeaksDb();
}

// ---- Effect ----

CompressorPlax::CompressorPlax(PlaxHostCallback host)
    : SuiteEffect(host, kCompHostParameters, kCompTableSize, kCompProgramBytes) {
    setUniqueId(kCompUniqueId);
}

void CompressorPlax::defineParameters(ParameterTable& table) {
    table.define(kCompGain, {0.0f, -12.0f, 12.0f, 0.1f, "dB", "Gain"});
    table.define(kCompBands, {3.0f, 1.0f, 5.0f, 1.0f, "#", "Bands"});
    table.define(kCompActBand, {1.0f, 0.0f, 4.0f, 1.0f, "#", "ActBand"});
    table.define(kCompSolo, {0.0f, 0.0f, 1.0f, 1.0f, "on/off", "Solo"});
    table.define(kCompType, {1.0f, 0.0f, 1.0f, 1.0f, "", "Type"});
    table.define(kCompLimiter, {0.0f, 0.0f, 1.0f, 1.0f, "on/off", "Limiter"});
    const char* gainNames[kCompBandCount] = {"BandGain1", "BandGain2", "BandGain3", "BandGain4",
                                             "BandGain5"};
    for (int32_t b = 0; b < kCompBandCount; ++b)
        table.define(kCompBandGain1 + b, {0.0f, -12.0f, 12.0f, 0.1f, "dB", gainNames[b]});
    const char* borderNames[kCompBorderCount] = {"Border1", "Border2", "Border3", "Border4"};
    const float borderDefaults[kCompBorderCount] = {8.0f, 11.0f, 15.0f, 16.0f};
    for (int32_t i = 0; i < kCompBorderCount; ++i)
        table.define(kCompBorder1 + i, {borderDefaults[i], 4.0f, 16.0f, 0.1f, "", borderNames[i]});
    table.define(kCompPeak, {0.0f, 0.0f, 1.0f, 0.01f, "", "Peak", kFloatSize, false});
    table.define(kCompCurves, {0.0f, 0.0f, 1.0f, 0.0f, "", "", kCurveBlockBytes});
}

std::unique_ptr<EngineAdapter> CompressorPlax::createAdapter(float sampleRateHz) {
    const int32_t rate = int32_t(sampleRateHz);
    if (rate < kMinRateHz || rate > kMaxRateHz) return nullptr;
    return std::make_unique<CompressorAdapter>(rate);
}

void CompressorPlax::writeProgram(uint8_t* program) {
    for (int32_t i = 0; i < kCompScalarRecords; ++i) {
        const float value = i < kCompHostParameters ? table_->getNormalised(i) : table_->readValue(i);
        storeBigEndianFloat(program + 4 * i, value);
    }
    uint8_t* block = program + 4 * kCompScalarRecords;
    table_->readBytes(kCompCurves, block, kCurveBlockBytes);
    for (int32_t w = 0; w < kCurveBlockBytes / 4; ++w) {
        const uint32_t word = swapIfLittle(loadWord(block + 4 * w));
        std::memcpy(block + 4 * w, &word, 4);
    }
}

void CompressorPlax::readProgram(const uint8_t* program) {
    const bool bigEndian = programIsBigEndian(program);
    for (int32_t i = 0; i < kCompScalarRecords; ++i) {
        const float value = loadFloat(program + 4 * i, bigEndian);
        if (i < kCompHostParameters) {
            table_->setNormalised(i, value);
        } else if (std::isfinite(value)) {
            const ParameterRecord& r = table_->record(i);
            table_->setValue(i, std::clamp(value, r.minimum, r.maximum));
        }
    }
    uint8_t block[kCurveBlockBytes];
    for (int32_t w = 0; w < kCurveBlockBytes / 4; ++w) {
        const float value = loadFloat(program + 4 * (kCompScalarRecords + w), bigEndian);
        std::memcpy(block + 4 * w, &value, 4);
    }
    table_->writeBytes(kCompCurves, block, kCurveBlockBytes);
}

void CompressorPlax::initialiseFurther() {
    if (programBytes_ != kCompProgramBytes) return;
    const std::vector<uint8_t> bank = compressorFactoryBank();
    if (bank.size() == size_t(kProgramCount) * size_t(kCompProgramBytes))
        setChunk(bank.data(), int32_t(bank.size()), false);
}

PlaxEffect* createCompressorPlax(PlaxHostCallback host, EditorFactory editor) {
    if (!host || host(nullptr, kPlaxHostVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    CompressorPlax* effect = nullptr;
    try {
        effect = new CompressorPlax(host);
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
