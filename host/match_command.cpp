// orq match: teaches the matching filter a reference's spectrum and the input's, then renders
// the input matched toward the reference — all through the plug-in's own parameter exchange.
#include "host/commands.h"
#include "host/output_files.h"
#include "host/session.h"
#include "host/state_file.h"
#include "host/stream_counts.h"
#include "matching/tessaline_parameters.h"
#include "runtime/parameter_set.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <tuple>

namespace orq::host {

using namespace orq::matching;

namespace {

constexpr double kAmountPercentMax = 200.0; // morph 0 … 2
// Stored learned rates below this are not rates (older states kept 0 or 1 there).
constexpr float kLowestLearnedRateHz = 1000.0f;
// A reference shorter than this gives a spectrum of few analysis frames: the match follows
// its passing details more than its tone, and the summary says so.
constexpr double kShortReferenceSeconds = 3.0;

// A one-channel source handed on as two identical channels: a mono reference is learned as it
// sounds on both sides of a stereo input (the plug-in keeps what it learned only while the
// channel count stays the same).
class MonoAsStereoSource final : public AudioSource {
  public:
    explicit MonoAsStereoSource(AudioSource& mono) : mono_(mono), format_(mono.format()) {
        format_.channels = 2;
    }
    const StreamFormat& format() const override { return format_; }
    int64_t read(void* bytes, int64_t frames) override {
        const int64_t got = mono_.read(bytes, frames);
        const size_t width = format_.format == SampleFormat::Int16 ? 2 : 4;
        auto* data = static_cast<uint8_t*>(bytes);
        // From the end backwards, so the one buffer holds both.
        for (int64_t i = got - 1; i >= 0; --i) {
            std::memmove(data + size_t(2 * i + 1) * width, data + size_t(i) * width, width);
            std::memmove(data + size_t(2 * i) * width, data + size_t(i) * width, width);
        }
        return got;
    }

  private:
    AudioSource& mono_;
    StreamFormat format_;
};

std::string seconds(int64_t frames, int32_t rateHz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", double(frames) / double(rateHz));
    return text;
}

} // namespace

MatchOptions parseMatch(const std::vector<std::string>& args) {
    MatchOptions o;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--reference")
            o.reference = value();
        else if (a == "--amount") {
            const std::string v = value();
            try {
                o.amountPercent = parseNumber(v, "--amount");
            } catch (const std::runtime_error& e) {
                throw UsageError(e.what());
            }
            if (!(o.amountPercent >= 0 && o.amountPercent <= kAmountPercentMax))
                throw UsageError("--amount takes a percentage from 0 to 200, not '" + v + "'");
        } else if (a == "--third-octave")
            o.thirdOctave = true;
        else if (a == "--save-state")
            o.saveState = value();
        else if (a.starts_with("--"))
            throw UsageError("unknown option '" + a + "'");
        else
            positional.push_back(a);
    }
    if (o.reference.empty() || positional.size() != 2)
        throw UsageError("match takes --reference REF INPUT OUTPUT");
    o.input = positional[0];
    o.output = positional[1];
    return o;
}

namespace {

// Frames summed into one learn target, read through the plug-in with that target selected.
float learnedFrames(Session& s, float target) {
    s.writeValue(kParamLearnTarget, target);
    return s.readValue(kParamLearnedFrames);
}

} // namespace

int commandMatch(const std::vector<std::string>& args) {
    const MatchOptions o = parseMatch(args);
    OutputFiles files;
    files.addInput(o.reference, "the reference");
    files.addInput(o.input, "the input");
    files.add(o.output, "the output", OutputKind::Audio);
    if (o.saveState) files.add(*o.saveState, "the saved state");
    // Each pass streams its file afresh, so memory does not grow with the files' lengths.
    AudioFileReader reference(o.reference, nullptr);
    AudioFileReader input(o.input, nullptr);
    const StreamFormat format = input.format();
    if (reference.format().sampleRate != format.sampleRate)
        throw std::runtime_error(
            "the reference '" + o.reference + "' runs at " +
            std::to_string(reference.format().sampleRate) + " Hz and the input '" + o.input +
            "' at " + std::to_string(format.sampleRate) + " Hz; resample one of them first");
    for (const auto& [file, path] :
         {std::pair(&reference, &o.reference), std::pair(&input, &o.input)})
        if (file->format().frames == 0)
            throw std::runtime_error("'" + *path + "' holds no audio to learn a spectrum from");
    if (format.channels == 1 && reference.format().channels != 1)
        throw std::runtime_error("the input is mono and the reference has " +
                                 std::to_string(reference.format().channels) +
                                 " channels; give a mono reference for a mono input");
    const bool monoReference = reference.format().channels == 1 && format.channels == 2;
    MonoAsStereoSource referenceAsStereo(reference);
    NonFiniteCountingSource referenceCounted(
        monoReference ? static_cast<AudioSource&>(referenceAsStereo) : reference);
    NonFiniteCountingSource inputCounted(input);
    const PluginTarget target = findPlugin("Orq Tessaline");
    std::unique_ptr<Session> s = openSession(target, Road::Component);
    RunSummary summary;
    DiscardSink discard;

    // The mode first: switching it clears what was learned.
    s->writeValue(kParamMatch, 0.0f);
    s->writeValue(kParamThirdOctave, o.thirdOctave ? 1.0f : 0.0f);
    s->writeValue(kParamLearnTarget, 1.0f);
    s->writeValue(kParamLearn, 1.0f);
    s->run(referenceCounted, discard, summary, {});
    s->writeValue(kParamLearnTarget, 0.0f);
    s->run(inputCounted, discard, summary, {});
    s->writeValue(kParamLearn, 0.0f);
    // The mode in force: equal band learns nFFT21 bins; third octave exists only at the rates
    // that have its decimation tables and is otherwise left in equal band.
    const bool thirdOctave =
        o.thirdOctave && s->readValue(kParamLearnedBins) != s->readValue(kParamBinCount);
    if (o.thirdOctave && !thirdOctave)
        std::printf("third-octave mode has no filter tables at %d Hz: matching in equal-band "
                    "mode\n",
                    format.sampleRate);

    const float sourceFrames = learnedFrames(*s, 1.0f);
    const float destinationFrames = learnedFrames(*s, 0.0f);
    for (const auto& [frames, what, path, length] :
         {std::tuple(sourceFrames, "reference", &o.reference, reference.format().frames),
          std::tuple(destinationFrames, "input", &o.input, format.frames)})
        if (!(frames > 0))
            throw std::runtime_error(std::string("the ") + what + " '" + *path + "' (" +
                                     seconds(length, format.sampleRate) +
                                     ") is too short to learn a spectrum from");
    // The match compares sums of frame powers: bring the reference's sum to the input's
    // frame count so that files of different lengths compare as means.
    std::vector<float> source = s->readFloats(kParamSourceSpectrum);
    const float scale = destinationFrames / sourceFrames;
    for (float& v : source)
        v *= scale;
    s->writeFloats(kParamSourceSpectrum, source);

    s->writeValue(kParamMorph, float(o.amountPercent / 100.0));
    s->writeValue(kParamMatch, 1.0f);
    AudioFileReader again(o.input, nullptr);
    FullScaleCountingSink written(files.audio(o.output, format), format);
    s->run(again, written, summary, {});
    if (o.saveState)
        files.write(*o.saveState, encodeStateFile(stateOriginOf(target), s->saveState()));
    files.commit();

    const std::vector<float> curve = s->readFloats(kParamCurve);
    const int32_t bins =
        std::clamp(int32_t(s->readValue(kParamLearnedBins)), 0, int32_t(curve.size()));
    float lowest = 0, highest = 0;
    bool any = false;
    for (int32_t b = 0; b < bins; ++b) {
        const float v = curve[size_t(b)];
        if (!(v > 0) || !std::isfinite(v)) continue;
        lowest = any ? std::min(lowest, v) : v;
        highest = any ? std::max(highest, v) : v;
        any = true;
    }
    std::printf("learned frames: reference %.0f, input %.0f\n", sourceFrames, destinationFrames);
    if (any)
        std::printf("applied curve: %.2f dB to %+.2f dB over %d bins (%s mode, amount %.0f %%)\n",
                    10.0 * std::log10(lowest), 10.0 * std::log10(highest), bins,
                    thirdOctave ? "third-octave" : "equal-band", o.amountPercent);
    std::printf("latency: %d frames; output: %s\n", summary.latencyFrames, o.output.c_str());
    if (monoReference)
        std::printf("the reference is mono: its channel was learned for both sides\n");
    if (double(reference.format().frames) < kShortReferenceSeconds * format.sampleRate)
        std::printf("the reference is short (%s, %.0f analysis frame%s): a reference of %.0f s "
                    "or more gives a steadier match\n",
                    seconds(reference.format().frames, format.sampleRate).c_str(), sourceFrames,
                    sourceFrames == 1.0f ? "" : "s", kShortReferenceSeconds);
    std::printf("%s%s%s", nonFiniteLine(referenceCounted.nonFinite(), "reference").c_str(),
                nonFiniteLine(inputCounted.nonFinite(), "input").c_str(),
                fullScaleLine(written.atFullScale(), "lower --amount or the input level").c_str());
    return 0;
}

std::string learnedSpectraNote(Session& s, const std::vector<uint8_t>& state,
                               int32_t sampleRateHz) {
    if (s.name() != "Orq Tessaline") return {};
    ParameterInterface* set = s.store();
    if (!loadParameterStream(set, set->owner->count(), state.data(), state.size(), nullptr))
        return {};
    const float learnedRate = set->getFloat(set, kParamAnalyze);
    const bool stateThird = set->getFloat(set, kParamThirdOctave) >= 0.5f;
    bool learned = false;
    for (int32_t index : {kParamSourceSpectrum, kParamDestSpectrum}) {
        std::vector<float> v(size_t(kMaxLearnedBins), 0.0f);
        set->getArray(set, index, v.data(), kMaxLearnedBins);
        learned = learned || std::any_of(v.begin(), v.end(), [](float x) { return x > 0.0f; });
    }
    if (!learned || !(learnedRate >= kLowestLearnedRateHz) || int32_t(learnedRate) == sampleRateHz)
        return {};
    // The mode in force: equal band learns nFFT21 bins.
    const bool third = s.readValue(kParamLearnedBins) != s.readValue(kParamBinCount);
    char text[240];
    if (stateThird == third)
        std::snprintf(text, sizeof text,
                      "learned spectra: measured at %d Hz, moved by frequency onto the %d Hz "
                      "bins\n",
                      int32_t(learnedRate), sampleRateHz);
    else
        std::snprintf(text, sizeof text,
                      "learned spectra: measured at %d Hz in third-octave mode, which has no "
                      "filter tables at %d Hz: not applied\n",
                      int32_t(learnedRate), sampleRateHz);
    return text;
}

} // namespace orq::host
