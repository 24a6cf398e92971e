// The host library in-process: option parsing, streaming runs against a short-chunk
// reference, and the analysers' collectors on the real deliverables.
#include "host/audio_file.h"
#include "host/commands.h"
#include "host/engine_window.h"
#include "host/plugin_library.h"
#include "host/scope_collector.h"
#include "host/session.h"
#include "host/spectrogram_collector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;

namespace {

constexpr int32_t kRateHz = 44100;

// A temporary folder with its own registry holding the pass-through plug-in and the suite.
class HostLibrary : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("orq-host-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        setenv("ORQ_REGISTRY", (dir_ / "registry").c_str(), 1);
        std::vector<std::string> libraries = {ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so"};
        for (const auto& entry : fs::directory_iterator(ORQ_PLUGIN_DIR))
            if (entry.path().string().ends_with("_dx.so"))
                libraries.push_back(entry.path().string());
        for (const std::string& path : libraries)
            ASSERT_EQ(loadLibrary(path).registerServer(), S_OK) << path;
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    static std::string path(const std::string& name) { return (dir_ / name).string(); }

    EngineWindow engine_;
    static fs::path dir_;
};
fs::path HostLibrary::dir_;

AudioData stereo(int64_t frames, SampleFormat format,
                 const std::function<std::pair<double, double>(int64_t)>& signal) {
    AudioData a;
    a.channels = 2;
    a.sampleRate = kRateHz;
    a.frames = frames;
    a.format = format;
    for (int64_t i = 0; i < frames; ++i) {
        const auto [l, r] = signal(i);
        if (format == SampleFormat::Int16) {
            a.int16.push_back(int16_t(std::lround(l * 32767)));
            a.int16.push_back(int16_t(std::lround(r * 32767)));
        } else {
            a.float32.push_back(float(l));
            a.float32.push_back(float(r));
        }
    }
    return a;
}

std::pair<double, double> music(int64_t i) {
    const double t = double(i) / kRateHz;
    return {0.6 * std::sin(2 * std::numbers::pi * 220 * t) * std::sin(3.1 * t),
            0.5 * std::sin(2 * std::numbers::pi * 331 * t + 0.3)};
}

// The same plug-in run over audio in memory in chunks of chunkFrames.
AudioData referenceRun(const std::string& plugin, Road road, const std::vector<Setting>& settings,
                       const AudioData& input, int32_t chunkFrames) {
    std::unique_ptr<Session> session = openSession(findPlugin(plugin), road);
    session->apply(settings);
    session->setChunkFrames(chunkFrames);
    MemorySource source(input);
    MemorySink sink(source.format());
    RunSummary summary;
    session->run(source, sink, summary, {});
    return sink.audio();
}

float largestDifference(const AudioData& a, const AudioData& b) {
    float largest = 0.0f;
    if (a.format == SampleFormat::Int16) {
        for (size_t i = 0; i < a.int16.size(); ++i)
            largest = std::max(largest, float(std::abs(a.int16[i] - b.int16[i])));
    } else {
        for (size_t i = 0; i < a.float32.size(); ++i)
            largest = std::max(largest, std::fabs(a.float32[i] - b.float32[i]));
    }
    return largest;
}

} // namespace

// Parsing ---------------------------------------------------------------------------------

TEST(ProcessOptionsParsing, takes_positionals_and_options_in_any_order) {
    const ProcessOptions o = parseProcess({"--set", "Gain=0.5", "Orq X", "in.wav", "--road", "vc",
                                           "out.flac", "--format", "f32", "--state", "a.state",
                                           "--save-state", "b.state", "--set", "Shape[2]=0,0;1,1"});
    EXPECT_EQ(o.plugin, "Orq X");
    EXPECT_EQ(o.input, "in.wav");
    EXPECT_EQ(o.output, "out.flac");
    ASSERT_EQ(o.settings.size(), 2u);
    EXPECT_EQ(o.settings[0].key, "Gain");
    EXPECT_EQ(o.settings[0].element, -1);
    EXPECT_EQ(o.settings[0].value, "0.5");
    EXPECT_EQ(o.settings[1].key, "Shape");
    EXPECT_EQ(o.settings[1].element, 2);
    EXPECT_EQ(o.settings[1].value, "0,0;1,1");
    EXPECT_EQ(o.road, Road::HostExtension);
    EXPECT_EQ(o.format, SampleFormat::Float32);
    EXPECT_EQ(o.state, "a.state");
    EXPECT_EQ(o.saveState, "b.state");
    EXPECT_FALSE(parseProcess({"P", "i", "o"}).road.has_value()) << "no road asked for";
}

TEST(ProcessOptionsParsing, malformed_command_lines_are_usage_errors_naming_the_fault) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"P", "i"}, "process takes PLUGIN INPUT OUTPUT"},
        {{"P", "i", "o", "extra"}, "process takes PLUGIN INPUT OUTPUT"},
        {{"P", "i", "o", "--set"}, "--set needs a value"},
        {{"P", "i", "o", "--road", "dxx"}, "--road takes dx, vc or plax"},
        {{"P", "i", "o", "--format", "s24"}, "--format takes s16 or f32"},
        {{"P", "i", "o", "--loud"}, "unknown option '--loud'"},
    };
    for (const Case& c : cases) {
        try {
            parseProcess(c.args);
            ADD_FAILURE() << "accepted: " << c.says;
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
}

TEST(SetValueParsing, keys_elements_and_values_are_split_and_bad_forms_refused) {
    const Setting plain = parseSetting("DesGain=-3.5");
    EXPECT_EQ(plain.key, "DesGain");
    EXPECT_EQ(plain.element, -1);
    EXPECT_EQ(plain.value, "-3.5");
    const Setting empty = parseSetting("Name=");
    EXPECT_EQ(empty.value, "") << "an empty value is the parameter's business";
    const Setting withEquals = parseSetting("K=a=b");
    EXPECT_EQ(withEquals.key, "K");
    EXPECT_EQ(withEquals.value, "a=b");
    EXPECT_EQ(parseSetting("Band[0]=1").element, 0);
    for (const char* bad : {"NoEquals", "=3", "K[=1", "K[]=1", "K[-1]=1", "K[x]=1", "[2]=1",
                            "K[1x]=1", "K[99999999]=1"})
        EXPECT_THROW(parseSetting(bad), std::runtime_error) << bad;
}

TEST(AnalysisOptionsParsing, each_command_takes_only_its_own_options) {
    const AnalysisOptions s = parseAnalysis(
        {"in.wav", "--low-band", "out.csv", "--channel", "right", "--output", "a.wav"}, true);
    EXPECT_EQ(s.positional, (std::vector<std::string>{"in.wav", "out.csv"}));
    EXPECT_TRUE(s.lowBand);
    EXPECT_EQ(s.view, SpectrumView::Right);
    EXPECT_EQ(s.output, "a.wav");
    EXPECT_TRUE(parseAnalysis({"in.wav", "--mono"}, false).mono);
    EXPECT_THROW(parseAnalysis({"in.wav", "--mono"}, true), UsageError);
    EXPECT_THROW(parseAnalysis({"in.wav", "--low-band"}, false), UsageError);
    EXPECT_THROW(parseAnalysis({"in.wav", "--channel", "both"}, true), UsageError);
    EXPECT_THROW(parseAnalysis({"in.wav", "--output"}, false), UsageError);
}

TEST(MatchOptionsParsing, amount_is_a_percentage_from_0_to_200_and_a_reference_is_required) {
    const MatchOptions o =
        parseMatch({"--reference", "r.wav", "i.wav", "o.wav", "--amount", "150", "--third-octave"});
    EXPECT_EQ(o.reference, "r.wav");
    EXPECT_EQ(o.input, "i.wav");
    EXPECT_EQ(o.output, "o.wav");
    EXPECT_DOUBLE_EQ(o.amountPercent, 150.0);
    EXPECT_TRUE(o.thirdOctave);
    EXPECT_DOUBLE_EQ(parseMatch({"--reference", "r", "i", "o", "--amount", "0"}).amountPercent,
                     0.0);
    for (const char* amount : {"-1", "200.5", "half", "", "nan"})
        EXPECT_THROW(parseMatch({"--reference", "r", "i", "o", "--amount", amount}), UsageError)
            << amount;
    EXPECT_THROW(parseMatch({"i", "o"}), UsageError);
    EXPECT_THROW(parseMatch({"--reference", "r", "i"}), UsageError);
}

// Streaming -------------------------------------------------------------------------------

TEST_F(HostLibrary, streamed_file_run_equals_a_short_chunk_run_in_memory_on_both_roads) {
    // Longer than many media samples, with a latency that spans chunks and a length that is
    // no multiple of any chunk size.
    const AudioData input = stereo(20 * 4096 + 1237, SampleFormat::Float32, music);
    writeAudio(path("long.wav"), input);
    const std::vector<Setting> settings = {parseSetting("Latency=5000"), parseSetting("Gain=0.5")};
    for (Road road : {Road::Component, Road::HostExtension}) {
        ProcessOptions o;
        o.plugin = "Orq Passthrough";
        o.input = path("long.wav");
        o.output = path("long-out.wav");
        o.settings = settings;
        o.road = road;
        const std::string summary = processFile(o, {});
        EXPECT_NE(summary.find("latency: 5000 frames"), std::string::npos) << summary;
        const AudioData streamed = readAudio(o.output, nullptr);
        const AudioData reference = referenceRun("Orq Passthrough", road, settings, input, 37);
        ASSERT_EQ(streamed.frames, input.frames);
        ASSERT_EQ(reference.frames, input.frames);
        EXPECT_EQ(streamed.float32, reference.float32);
        for (size_t i = 0; i < input.float32.size(); i += 997)
            ASSERT_EQ(streamed.float32[i], 0.5f * input.float32[i]) << "sample " << i;
    }
}

TEST_F(HostLibrary, a_plug_in_with_its_own_tail_streams_the_same_as_in_short_chunks) {
    // The maximizer hands back its tail; its output must not depend on how the file is cut.
    const AudioData input = stereo(9 * 4096 + 77, SampleFormat::Int16, music);
    writeAudio(path("max.wav"), input);
    const std::vector<Setting> settings = {parseSetting("DesGain=6")};
    for (Road road : {Road::Component, Road::HostExtension}) {
        ProcessOptions o;
        o.plugin = "Orq Pressane";
        o.input = path("max.wav");
        o.output = path("max-out.wav");
        o.settings = settings;
        o.road = road;
        const std::string summary = processFile(o, {});
        EXPECT_NE(summary.find("(tail from the plug-in)"), std::string::npos) << summary;
        const AudioData streamed = readAudio(o.output, nullptr);
        const AudioData reference = referenceRun("Orq Pressane", road, settings, input, 300);
        ASSERT_EQ(streamed.frames, input.frames);
        ASSERT_EQ(reference.frames, input.frames);
        EXPECT_EQ(largestDifference(streamed, reference), 0.0f);
    }
}

TEST_F(HostLibrary, fed_silence_brings_out_the_end_of_a_delayed_plug_in_without_a_tail) {
    // The phase scope delays by one block and hands back no tail: the host feeds silence, and
    // the streamed file comes back sample for sample, up to its last frame.
    const AudioData input = stereo(13 * 4096 + 5, SampleFormat::Float32, music);
    writeAudio(path("scope-in.wav"), input);
    for (Road road : {Road::Component, Road::HostExtension}) {
        ProcessOptions o;
        o.plugin = "Orq Lunavis";
        o.input = path("scope-in.wav");
        o.output = path("scope-out.wav");
        o.road = road;
        const std::string summary = processFile(o, {});
        EXPECT_NE(summary.find("(tail from fed silence)"), std::string::npos) << summary;
        const AudioData streamed = readAudio(o.output, nullptr);
        ASSERT_EQ(streamed.frames, input.frames);
        EXPECT_EQ(streamed.float32, input.float32);
    }
}

TEST_F(HostLibrary, a_sink_that_fails_inside_the_tail_ends_the_run_with_its_error) {
    // The pass-through hands its last 5000 frames back as its tail, from inside its library;
    // the sink fails there. The failure must reach the caller, not unwind the library.
    struct FailingSink final : AudioSink {
        int64_t written = 0, failAt = 0;
        void write(const void*, int64_t frames) override {
            if (written + frames > failAt) throw std::runtime_error("disk full (test)");
            written += frames;
        }
    };
    const AudioData input = stereo(3 * 4096, SampleFormat::Float32, music);
    for (Road road : {Road::Component, Road::HostExtension}) {
        std::unique_ptr<Session> session = openSession(findPlugin("Orq Passthrough"), road);
        session->apply({parseSetting("Latency=5000")});
        MemorySource source(input);
        FailingSink sink;
        sink.failAt = input.frames - 100;
        RunSummary summary;
        try {
            session->run(source, sink, summary, {});
            ADD_FAILURE() << "the run went on";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "disk full (test)");
        }
        EXPECT_GE(sink.written, input.frames - 5000) << "failed in the tail";
    }
}

TEST_F(HostLibrary, a_failed_run_leaves_no_output_and_no_temporary_file) {
    const std::string folder = path("failed");
    fs::create_directories(folder);
    // Six channels: the plug-ins take one or two, so the run fails after the output opened.
    AudioData six;
    six.channels = 6;
    six.sampleRate = kRateHz;
    six.frames = 1000;
    six.format = SampleFormat::Float32;
    six.float32.assign(6000, 0.25f);
    writeAudio(path("six.wav"), six);
    ProcessOptions o;
    o.plugin = "Orq Passthrough";
    o.input = path("six.wav");
    o.output = folder + "/out.wav";
    EXPECT_THROW(processFile(o, {}), std::runtime_error);
    EXPECT_TRUE(fs::is_empty(folder)) << "nothing left in " << folder;
}

// Collectors ------------------------------------------------------------------------------

namespace {

// Runs audio through an analyser on the component road, collecting after each 55 ms piece.
template <class Collector, class Collect>
void runAnalyser(const char* name, const AudioData& audio, const std::vector<Setting>& settings,
                 Collect collect) {
    std::unique_ptr<Session> session = openSession(findPlugin(name), Road::Component);
    session->apply(settings);
    session->setChunkFrames(Collector::framesPerCollection(audio.sampleRate));
    std::optional<Collector> collector;
    MemorySource source(audio);
    DiscardSink sink;
    RunSummary summary;
    session->run(source, sink, summary, [&](int64_t, int64_t) {
        if (!collector) collector.emplace(session->record(), session->store());
        collect(*collector);
    });
}

} // namespace

TEST_F(HostLibrary, scope_collector_reads_rows_of_a_mono_image_with_correlation_1) {
    const AudioData audio = stereo(kRateHz / 2, SampleFormat::Float32, [](int64_t i) {
        const double v = std::sin(0.05 * double(i));
        return std::pair{v, v};
    });
    int32_t rows = 0;
    runAnalyser<ScopeCollector>("Orq Lunavis", audio, {}, [&](ScopeCollector& c) {
        const ScopeCollection& got = c.collect();
        for (const ScopeRowSummary& row : got.rows) {
            ++rows;
            // A sample that is exactly zero counts one half.
            EXPECT_NEAR(row.correlation, 1.0f, 1.0f / kScopeExchangeRowFrames);
            EXPECT_NEAR(row.peakMid, 1.41421356f, 1e-4f);
            EXPECT_NEAR(row.peakSide, 0.0f, 1e-6f);
        }
        if (got.rows.empty()) return;
        EXPECT_NEAR(got.meterCorrelation, 1.0f, 1.0f / kScopeExchangeRowFrames);
        EXPECT_LE(got.rangeMinimum, got.meterCorrelation);
        EXPECT_GE(got.rangeMaximum, got.meterCorrelation);
    });
    EXPECT_EQ(rows, kRateHz / 2 / kScopeExchangeRowFrames) << "every full row once";
}

TEST_F(HostLibrary, spectrogram_collector_puts_a_full_scale_sine_at_0db_in_its_bin) {
    const int32_t bin = 64;
    const AudioData audio = stereo(kRateHz / 2, SampleFormat::Float32, [](int64_t i) {
        const double v = std::sin(2.0 * std::numbers::pi * bin * double(i) / 1024.0);
        return std::pair{v, v};
    });
    int64_t rows = 0;
    double lastTime = -1.0;
    runAnalyser<SpectrogramCollector>("Orq Ombrel", audio, {}, [&](SpectrogramCollector& c) {
        EXPECT_FALSE(c.lowBand());
        EXPECT_NEAR(c.binHz(), kRateHz / 1024.0, 1e-9);
        const SpectrogramCollection& got = c.collect();
        ASSERT_EQ(got.bins, 513);
        for (int32_t r = 0; r < got.rows; ++r, ++rows) {
            EXPECT_NEAR(got.timeSeconds[size_t(r)], double(rows) * 512 / kRateHz, 1e-12);
            lastTime = got.timeSeconds[size_t(r)];
            if (rows < 2) continue; // the first frames see the silence before the start
            const float* row = got.levelsDb.data() + size_t(r) * size_t(got.bins);
            EXPECT_EQ(std::max_element(row, row + got.bins) - row, bin) << "row " << rows;
            EXPECT_NEAR(row[bin], 0.0f, 0.05f) << "row " << rows;
        }
    });
    EXPECT_GE(rows, 40);
    EXPECT_GT(lastTime, 0.4);
}

TEST_F(HostLibrary, spectrogram_collector_low_band_shows_257_bins_up_to_about_1khz) {
    const AudioData audio = stereo(kRateHz, SampleFormat::Float32, [](int64_t i) {
        const double v = std::sin(2.0 * std::numbers::pi * 300.0 * double(i) / kRateHz);
        return std::pair{v, v};
    });
    int32_t rows = 0;
    runAnalyser<SpectrogramCollector>(
        "Orq Ombrel", audio, {parseSetting("bLog=1")}, [&](SpectrogramCollector& c) {
            ASSERT_TRUE(c.lowBand());
            EXPECT_NEAR(c.binHz() * (c.binsShown() - 1), 1002.3, 0.1);
            EXPECT_NEAR(c.hopSeconds(), 769.0 * 11 / kRateHz, 1e-12);
            const SpectrogramCollection& got = c.collect();
            for (int32_t r = 0; r < got.rows; ++r, ++rows) {
                EXPECT_EQ(got.bins, 257);
                if (rows < 3) continue; // the decimating filters fill first
                const float* row = got.levelsDb.data() + size_t(r) * size_t(got.bins);
                const double peakHz =
                    double(std::max_element(row, row + got.bins) - row) * c.binHz();
                EXPECT_NEAR(peakHz, 300.0, c.binHz() / 2) << "row " << rows;
            }
        });
    EXPECT_GE(rows, 4);
}

TEST(SpectrumLevel, powers_below_the_floor_and_nan_read_the_floor) {
    EXPECT_EQ(spectrumLevelDb(0.0f), -100.0f);
    EXPECT_EQ(spectrumLevelDb(-1.0f), -100.0f);
    EXPECT_EQ(spectrumLevelDb(1e-20f), -100.0f);
    EXPECT_EQ(spectrumLevelDb(std::nanf("")), -100.0f);
    EXPECT_NEAR(spectrumLevelDb(0.5f), 0.0f, 1e-6f) << "a full-scale sine's mean power";
}

TEST(CorrelationMeterBallistics, steps_are_limited_after_the_first_reading) {
    CorrelationMeter meter;
    meter.update(1.0f, false); // reset: jumps
    EXPECT_NEAR(meter.value(), 1.0f, 1e-7f);
    meter.update(0.0f, false); // falls by at most 0.04
    EXPECT_NEAR(meter.value(), 0.96f, 1e-6f);
    EXPECT_NEAR(meter.minimum(), 0.96f, 1e-6f);
    EXPECT_NEAR(meter.maximum(), 1.0f, 1e-6f);
    meter.update(1.0f, false); // rises by at most 0.04
    EXPECT_NEAR(meter.value(), 1.0f, 1e-6f);
    meter.update(0.98f, false); // small steps are taken whole
    EXPECT_NEAR(meter.value(), 0.98f, 1e-6f);
}

TEST(CorrelationMeterBallistics, mono_rises_at_once_and_collapses_the_range) {
    CorrelationMeter meter;
    meter.update(0.2f, true);
    meter.update(0.9f, true);
    EXPECT_NEAR(meter.value(), 0.9f, 1e-6f);
    EXPECT_NEAR(meter.minimum(), meter.maximum(), 1e-7f);
    meter.reset();
    meter.update(0.5f, false);
    EXPECT_NEAR(meter.minimum(), 0.5f, 1e-7f);
    EXPECT_NEAR(meter.maximum(), 0.5f, 1e-7f);
}
