// compressor_plax: the multiband compressor for Plax hosts. Seven host parameters (Gain, Solo,
// BandGain1 … BandGain5), ten more records in the table (ActBand, Bands, Border1 … Border4 as
// base-2 logarithms of Hz, Type, Limiter, the 1300-byte curve block and the Peak meter), and
// programs of 1392 bytes kept in big-endian order, with a factory bank of ten.
//
// The curve block holds five bands of 65 floats: the point count, 15 input levels, 15 output
// levels (0 … 1), and 34 floats kept zero.
#pragma once

#include "compressor/compressor_engine.h"
#include "plax/suite_effect.h"

#include <array>
#include <cstdint>

namespace orq::plax {

enum CompressorIndex : int32_t {
    kCompGain = 0,
    kCompSolo = 1,
    kCompBandGain1 = 2, // … 6
    kCompActBand = 7,
    kCompBands = 8,
    kCompBorder1 = 9, // … 12
    kCompType = 13,
    kCompLimiter = 14,
    kCompCurves = 15, // block
    kCompPeak = 16,
    kCompTableSize = 17,
};
constexpr int32_t kCompHostParameters = 7;
constexpr int32_t kCompBandCount = 5;
constexpr int32_t kCompBorderCount = 4;
constexpr int32_t kCurveFloatsPerBand = 65;
constexpr int32_t kCurvePoints = 15;
constexpr int32_t kCurveBlockBytes = kCompBandCount * kCurveFloatsPerBand * 4; // 1300
constexpr int32_t kCompScalarRecords = 15; // records 0 … 14 in a program
constexpr int32_t kCompProgramBytes = kCompScalarRecords * 4 + kCurveBlockBytes + kProgramNameBytes;
constexpr int32_t kCompUniqueId = 0x4578706c; // "Expl"
constexpr float kLowestBorderHz = 25.0f;      // the lower edge of the first band

// Program byte order: stored big-endian; a program read as little-endian floats whose first
// seven (normalised) values leave this range, or are positive and below kTinyNormalised, is
// taken as big-endian.
constexpr float kNormalisedLow = -0.1f;
constexpr float kNormalisedHigh = 1.1f;
constexpr float kTinyNormalised = 1e-20f;
bool programIsBigEndian(const uint8_t* program);

class CompressorAdapter : public EngineAdapter {
  public:
    // [ui-thread] allocates; throws std::bad_alloc.
    explicit CompressorAdapter(int32_t sampleRateHz);
    void reset() override;
    int32_t latency() const override { return engine_.latency(); }
    const compressor::CompressorEngine& engine() const { return engine_; }

  protected:
    void applyParameters(ParameterTable& table) override;
    void runEngine(float** inputs, float** outputs, int32_t frames, ProcessMode mode) override;
    void publishMeters(ParameterTable& table) override;

  private:
    compressor::CompressorEngine engine_;
    // Accumulating mode runs the engine into this scratch and adds it.
    std::array<std::vector<float>, kAdapterChannels> scratch_;
};

// The engine's settings a table describes (arrays in the engine's units).
struct CompressorPlaxSettings {
    compressor::BandGainArray bandGainsDb{};
    compressor::BorderArray bordersHz{};
    compressor::ShapeArray shapes{};
    int32_t bandCount = 3;
};
CompressorPlaxSettings settingsOf(const ParameterTable& table, float sampleRateHz);

class CompressorPlax : public SuiteEffect {
  public:
    explicit CompressorPlax(PlaxHostCallback host);
    CompressorAdapter* compressorAdapter() { return static_cast<CompressorAdapter*>(adapter_.get()); }

  protected:
    void defineParameters(ParameterTable& table) override;
    std::unique_ptr<EngineAdapter> createAdapter(float sampleRateHz) override;
    void writeProgram(uint8_t* program) override;
    void readProgram(const uint8_t* program) override;
    void initialiseFurther() override;
};

// The factory bank: 13920 bytes decoded from the library's text (ten big-endian programs).
std::vector<uint8_t> compressorFactoryBank();

PlaxEffect* createCompressorPlax(PlaxHostCallback host, EditorFactory editor);

} // namespace orq::plax
