// orq as a user runs it: files in, files out, one clear line for bad input.
#include "host/audio_file.h"
#include "host/cli_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;

namespace {

using orq::host::testing::Result;

class OrqCli : public orq::host::testing::OrqCommandTest<OrqCli> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-cli-");
        ASSERT_EQ(run("register " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so")).exitCode, 0);
        std::string suite;
        for (const auto& entry : fs::directory_iterator(ORQ_PLUGIN_DIR))
            if (entry.path().string().ends_with("_dx.so")) suite += " " + quote(entry.path());
        ASSERT_EQ(run("register" + suite).exitCode, 0);
    }

    // A stereo float file of generated frames.
    template <class Signal>
    static std::string writeStereo(const std::string& name, int64_t frames, Signal signal) {
        AudioData a;
        a.channels = 2;
        a.sampleRate = 44100;
        a.frames = frames;
        a.format = SampleFormat::Float32;
        for (int64_t i = 0; i < frames; ++i) {
            const auto [l, r] = signal(i);
            a.float32.push_back(float(l));
            a.float32.push_back(float(r));
        }
        writeAudio(path(name), a);
        return path(name);
    }

    static std::string writeInput(const std::string& name, SampleFormat format, int channels,
                                  int64_t frames) {
        AudioData a;
        a.channels = channels;
        a.sampleRate = 44100;
        a.frames = frames;
        a.format = format;
        const size_t n = size_t(frames) * size_t(channels);
        uint32_t state = 12345;
        for (size_t i = 0; i < n; ++i) {
            state = state * 1664525u + 1013904223u;
            const double v =
                std::sin(double(i) * 0.01) * 0.7 + (double(state >> 8) / 16777216.0 - 0.5) * 0.2;
            if (format == SampleFormat::Int16)
                a.int16.push_back(int16_t(std::lround(v * 32767)));
            else
                a.float32.push_back(float(v));
        }
        writeAudio(path(name), a);
        return path(name);
    }
};

const std::string kPassthrough = "'Orq Passthrough'";

bool sameSamples(const std::string& a, const std::string& b) {
    const AudioData x = readAudio(a, nullptr), y = readAudio(b, nullptr);
    return x.frames == y.frames && x.channels == y.channels && x.int16 == y.int16 &&
           x.float32 == y.float32;
}

} // namespace

TEST_F(OrqCli,
       pass_through_with_latency_returns_sixteen_bit_and_float_files_bit_exactly_on_both_roads) {
    for (SampleFormat format : {SampleFormat::Int16, SampleFormat::Float32}) {
        const std::string in = writeInput("in.wav", format, 2, 30011);
        for (const char* road : {"dx", "vc"}) {
            const std::string out = path(std::string("out-") + road + ".wav");
            const Result r = run("process " + kPassthrough + " " + quote(in) + " " + quote(out) +
                                 " --set Latency=1000 --road " + road);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_NE(r.out.find("latency: 1000 frames"), std::string::npos) << r.out;
            EXPECT_TRUE(sameSamples(in, out)) << road;
        }
    }
}

TEST_F(OrqCli, state_saved_by_one_run_is_loaded_by_the_next) {
    const std::string in = writeInput("state-in.wav", SampleFormat::Float32, 1, 5000);
    ASSERT_EQ(run("process " + kPassthrough + " " + quote(in) + " " + quote(path("a.wav")) +
                  " --set Gain=0.5 --save-state " + quote(path("gain.state")))
                  .exitCode,
              0);
    ASSERT_EQ(run("process " + kPassthrough + " " + quote(in) + " " + quote(path("b.wav")) +
                  " --state " + quote(path("gain.state")))
                  .exitCode,
              0);
    const AudioData source = readAudio(in, nullptr), halved = readAudio(path("b.wav"), nullptr);
    ASSERT_EQ(halved.frames, source.frames);
    EXPECT_FLOAT_EQ(halved.float32[100], 0.5f * source.float32[100]);
}

TEST_F(OrqCli, bad_input_gives_one_clear_line_a_failure_exit_and_no_output) {
    const std::string good = writeInput("good.wav", SampleFormat::Int16, 2, 2000);
    const std::string six = writeInput("six.wav", SampleFormat::Int16, 6, 2000);
    { std::ofstream(path("bad.state")) << "not a state"; }
    fs::create_directories(path("folder.wav"));
    struct Case {
        std::string args;
        std::string says;
    };
    const std::string out = path("never.wav");
    const Case cases[] = {
        {quote(path("missing.wav")) + " " + quote(out), "cannot read"},
        {quote(six) + " " + quote(out), "6 channels"},
        {quote(good) + " " + quote(out) + " --state " + quote(path("bad.state")),
         "not a state file"},
        {quote(good) + " " + quote(out) + " --set Nonsense=1", "unknown parameter 'Nonsense'"},
        {quote(good) + " " + quote(good), "is the input"},
        {quote(good) + " " + quote(out) + " --set Latency=loud", "not a number"},
        {quote(good) + " " + quote(out) + " --format s24", "--format takes s16 or f32"},
        {quote(path("folder.wav")) + " " + quote(out), "it is a directory"},
        {quote(good) + " " + quote(path("never.mp9")), "cannot tell the audio file type"},
        {quote(good) + " " + quote(path("no-such-folder/out.wav")), "cannot write in"},
        {quote(good) + " " + quote(out) + " --set", "--set needs a value"},
        {quote(good) + " " + quote(out) + " --set Latency", "KEY=VALUE"},
        {quote(good) + " " + quote(out) + " --set Latency[0]=1", "is not an array"},
        {quote(good), "process takes PLUGIN INPUT OUTPUT"},
    };
    for (const Case& c : cases) {
        const Result r = run("process " + kPassthrough + " " + c.args);
        EXPECT_NE(r.exitCode, 0) << c.args;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        const bool usage = r.exitCode == 2; // a usage error also shows the usage
        if (!usage) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
        EXPECT_EQ(r.err.rfind("orq: ", 0), 0u) << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.args;
        for (const auto& entry : fs::directory_iterator(dir_))
            EXPECT_EQ(entry.path().filename().string().find(".orq-"), std::string::npos)
                << "temporary file left: " << entry.path();
    }
    EXPECT_TRUE(sameSamples(good, good)) << "the input is untouched";
}

TEST_F(OrqCli, unknown_plug_in_name_and_unknown_command_fail_clearly) {
    const std::string good = writeInput("good2.wav", SampleFormat::Int16, 1, 100);
    Result r = run("process 'Orq Nothing' " + quote(good) + " " + quote(path("x.wav")));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("no plug-in named 'Orq Nothing'"), std::string::npos) << r.err;
    r = run("transmogrify");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown command"), std::string::npos);
}

TEST_F(OrqCli, concurrent_registrations_of_two_libraries_both_land) {
    const std::string registry = path("concurrent-registry");
    for (int round = 0; round < 3; ++round) {
        fs::remove(registry);
        const std::string env = "ORQ_REGISTRY=" + quote(registry) + " ";
        const std::string a =
            env + ORQ_BINARY " register " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so");
        const std::string b =
            env + ORQ_BINARY " register " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_second_dx.so");
        ASSERT_EQ(std::system(("(" + a + " >/dev/null & " + b + " >/dev/null & wait)").c_str()), 0);
        const std::string listing = path("listing.txt");
        ASSERT_EQ(std::system((env + ORQ_BINARY " list >" + quote(listing)).c_str()), 0);
        std::ifstream in(listing);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("Orq Passthrough  {"), std::string::npos) << text;
        EXPECT_NE(text.find("Orq Passthrough Second  {"), std::string::npos) << text;
    }
}

TEST_F(OrqCli, a_library_that_cannot_be_registered_does_not_stop_the_others) {
    const std::string registry = path("partly-failing-registry");
    const std::string notALibrary = path("not-a-library_dx.so");
    {
        std::ofstream out(notALibrary);
        out << "text, not a shared object\n";
    }
    const std::string missing = path("missing_dx.so");
    setenv("ORQ_REGISTRY", registry.c_str(), 1);
    const Result reg = run("register " + quote(missing) + " " + quote(notALibrary) + " " +
                           quote(ORQ_TEST_PLUGIN_DIR "/passthrough_second_dx.so"));
    const Result list = run("list");
    const Result unreg = run("unregister " + quote(notALibrary) + " " +
                             quote(ORQ_TEST_PLUGIN_DIR "/passthrough_second_dx.so"));
    const Result listAfter = run("list");
    setenv("ORQ_REGISTRY", (dir_ / "registry").c_str(), 1);

    EXPECT_NE(reg.exitCode, 0) << "any failure fails the command";
    EXPECT_NE(reg.err.find(missing), std::string::npos) << reg.err;
    EXPECT_NE(reg.err.find(notALibrary), std::string::npos) << reg.err;
    EXPECT_NE(reg.out.find("registered Orq Passthrough Second"), std::string::npos) << reg.out;
    EXPECT_NE(list.out.find("Orq Passthrough Second  {"), std::string::npos) << list.out;
    EXPECT_NE(unreg.exitCode, 0);
    EXPECT_NE(unreg.err.find(notALibrary), std::string::npos) << unreg.err;
    EXPECT_EQ(listAfter.out.find("Orq Passthrough Second  {"), std::string::npos)
        << "unregistered despite the failure before it: " << listAfter.out;
}

TEST_F(OrqCli, truncated_registry_gives_a_clear_error_and_is_left_as_it_was) {
    const std::string registry = path("truncated-registry");
    const std::string env = "ORQ_REGISTRY=" + quote(registry) + " ";
    ASSERT_EQ(std::system((env + ORQ_BINARY " register " +
                           quote(ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so") + " >/dev/null")
                              .c_str()),
              0);
    std::vector<char> bytes;
    {
        std::ifstream in(registry, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bytes.resize(bytes.size() / 2);
    {
        std::ofstream out(registry, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    setenv("ORQ_REGISTRY", registry.c_str(), 1);
    const Result list = run("list");
    const Result reg = run("register " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_second_dx.so"));
    setenv("ORQ_REGISTRY", (dir_ / "registry").c_str(), 1);
    EXPECT_NE(list.exitCode, 0);
    EXPECT_NE(list.err.find(registry), std::string::npos) << "names the file: " << list.err;
    EXPECT_NE(reg.exitCode, 0);
    std::ifstream in(registry, std::ios::binary);
    const std::vector<char> after((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    EXPECT_EQ(after, bytes) << "the file is untouched";
}

TEST_F(OrqCli, every_deliverable_registers_and_only_the_matching_filter_and_maximizer_carry_merit) {
    const std::string registry = path("suite-registry");
    const std::string env = "ORQ_REGISTRY=" + quote(registry) + " ";
    std::string libs;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(ORQ_PLUGIN_DIR))
        if (entry.path().string().ends_with("_dx.so")) {
            libs += " " + quote(entry.path().string());
            ++count;
        }
    ASSERT_EQ(count, 6) << "one library per plug-in";
    ASSERT_EQ(std::system((env + ORQ_BINARY " register" + libs + " >/dev/null").c_str()), 0);
    const std::string listing = path("suite-listing.txt");
    ASSERT_EQ(std::system((env + ORQ_BINARY " list >" + quote(listing)).c_str()), 0);
    std::ifstream in(listing);
    std::string line;
    int filters = 0;
    while (std::getline(in, line)) {
        if (line.find("{") == std::string::npos) continue;
        ++filters;
        const bool preferred = line.find("Orq Tessaline") != std::string::npos ||
                               line.find("Orq Pressane") != std::string::npos;
        EXPECT_EQ(line.find("merit 0x200000") != std::string::npos, preferred) << line;
    }
    EXPECT_EQ(filters, 6);
    ASSERT_EQ(std::system((env + ORQ_BINARY " unregister" + libs + " >/dev/null").c_str()), 0);
    std::ifstream after(registry);
    const std::string text((std::istreambuf_iterator<char>(after)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("CLSID\\{"), std::string::npos) << "every class key removed";
    EXPECT_EQ(text.find("Filter\\{"), std::string::npos) << "every filter key removed";
}

namespace {

// Lines of orq scope's table: second, mean, min, max, peak mid, peak side.
std::vector<std::vector<double>> scopeTable(const std::string& out) {
    std::vector<std::vector<double>> rows;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line); // header
    while (std::getline(lines, line)) {
        std::istringstream cells(line);
        std::vector<double> row;
        double v;
        while (cells >> v)
            row.push_back(v);
        if (row.size() == 6) rows.push_back(row);
    }
    return rows;
}

} // namespace

TEST_F(OrqCli, scope_reads_one_for_identical_channels_and_zero_for_inverted_ones) {
    auto tone = [](int64_t i) { return 0.8 * std::sin(0.0731 * double(i) + 0.4); };
    const std::string same = writeStereo("same.wav", 2 * 44100, [&](int64_t i) {
        return std::pair{tone(i), tone(i)};
    });
    const std::string inverted = writeStereo("inverted.wav", 2 * 44100, [&](int64_t i) {
        return std::pair{tone(i), -tone(i)};
    });
    for (const auto& [file, expected] : {std::pair{same, 1.0}, std::pair{inverted, 0.0}}) {
        const Result r = run("scope " + quote(file));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto table = scopeTable(r.out);
        ASSERT_EQ(table.size(), 2u) << r.out;
        for (const auto& row : table) {
            EXPECT_NEAR(row[1], expected, 0.01) << r.out;
            EXPECT_NEAR(row[2], expected, 0.01) << r.out;
            EXPECT_NEAR(row[3], expected, 0.01) << r.out;
            // Identical channels lie on the mid axis, inverted ones on the side axis.
            EXPECT_NEAR(expected > 0.5 ? row[5] : row[4], 0.0, 0.001) << r.out;
            EXPECT_NEAR(expected > 0.5 ? row[4] : row[5], 1.414, 0.01) << r.out;
        }
    }
    EXPECT_NE(run("scope " + quote(writeInput("mono.wav", SampleFormat::Int16, 1, 1000))).exitCode,
              0)
        << "a mono file is refused";
}

TEST_F(OrqCli, spectrogram_of_a_full_scale_sine_peaks_at_0db_in_its_bin_and_passes_audio) {
    const int bin = 64; // 2756.25 Hz at 44.1 kHz
    const std::string in = writeStereo("sine.wav", 44100, [&](int64_t i) {
        const double v = std::sin(2.0 * M_PI * bin * double(i) / 1024.0);
        return std::pair{v, v};
    });
    const Result r = run("spectrogram " + quote(in) + " " + quote(path("sine.csv")) + " --output " +
                         quote(path("sine-out.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::ifstream csv(path("sine.csv"));
    std::string header;
    std::getline(csv, header);
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), 513) << "one column per bin";
    EXPECT_NE(header.find(",2756.2Hz,"), std::string::npos);
    std::string line;
    int rows = 0;
    double previousTime = -1;
    while (std::getline(csv, line)) {
        std::vector<double> cells;
        std::istringstream in(line);
        std::string cell;
        while (std::getline(in, cell, ','))
            cells.push_back(std::stod(cell));
        ASSERT_EQ(cells.size(), 514u);
        EXPECT_NEAR(cells[0] - previousTime, rows == 0 ? 1.0 : 512.0 / 44100, 1e-5);
        previousTime = cells[0];
        if (rows++ < 2) continue; // the first frames see the silence before the start
        const auto peak = std::max_element(cells.begin() + 1, cells.end());
        EXPECT_EQ(peak - cells.begin() - 1, bin) << "row " << rows;
        EXPECT_NEAR(*peak, 0.0, 0.1) << "row " << rows;
    }
    EXPECT_EQ(rows, 86) << "two spectra per 1024 frames of one second";
    EXPECT_NE(r.out.find("86 spectra of 513 bins"), std::string::npos) << r.out;
    EXPECT_TRUE(sameSamples(in, path("sine-out.wav"))) << "the analyser passes audio through";
}

TEST_F(OrqCli, match_of_a_file_against_itself_applies_a_flat_curve_and_keeps_the_audio) {
    const std::string in = writeInput("self.wav", SampleFormat::Float32, 2, 5 * 44100);
    const Result r =
        run("match --reference " + quote(in) + " " + quote(in) + " " + quote(path("self-out.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    double lowest = 99, highest = 99;
    const size_t at = r.out.find("applied curve: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "applied curve: %lf dB to %lf dB", &lowest, &highest),
              2)
        << r.out;
    EXPECT_NEAR(lowest, 0.0, 0.05) << r.out;
    EXPECT_NEAR(highest, 0.0, 0.05) << r.out;
    const AudioData source = readAudio(in, nullptr);
    const AudioData matched = readAudio(path("self-out.wav"), nullptr);
    ASSERT_EQ(matched.frames, source.frames);
    float largest = 0;
    for (size_t i = 0; i < source.float32.size(); ++i)
        largest = std::max(largest, std::fabs(matched.float32[i] - source.float32[i]));
    EXPECT_LT(largest, 1e-4f) << "lined up sample for sample and unchanged";
}

TEST_F(OrqCli, float_output_to_flac_becomes_24_bit_pcm_and_saturates_beyond_full_scale) {
    const std::string in = writeStereo("loud.wav", 4000, [](int64_t i) {
        return std::pair{0.5 * std::sin(0.01 * double(i)), i % 100 == 0 ? 1.5 : -0.25};
    });
    const Result r =
        run("process " + kPassthrough + " " + quote(in) + " " + quote(path("loud.flac")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const AudioData source = readAudio(in, nullptr);
    const AudioData flac = readAudio(path("loud.flac"), nullptr);
    ASSERT_EQ(flac.format, SampleFormat::Float32) << "24-bit PCM is read as float";
    ASSERT_EQ(flac.frames, source.frames);
    const float step = 1.0f / 8388608.0f; // one 24-bit step
    for (size_t i = 0; i < source.float32.size(); ++i) {
        const float expected = std::min(source.float32[i], 1.0f);
        ASSERT_NEAR(flac.float32[i], expected, 2 * step) << "sample " << i;
    }
}

namespace {
// The first number on the summary line that holds text (-1 when there is no such line).
int64_t countBefore(const std::string& out, const std::string& text) {
    const size_t at = out.find(text);
    if (at == std::string::npos) return -1;
    const size_t lineStart = out.rfind('\n', at) == std::string::npos ? 0 : out.rfind('\n', at) + 1;
    const std::string line = out.substr(lineStart, at - lineStart);
    const size_t digits = line.find_first_of("0123456789");
    return digits == std::string::npos ? -1 : std::stoll(line.substr(digits));
}
} // namespace

// A float file with one sample at 1e20, a burst of not-a-number and two infinities, through the
// compressor: orq exits 0, the output is finite and is exactly the output of the same file with
// zeros in place of the bad samples, and the summary says how many were replaced.
TEST_F(OrqCli, samples_that_are_not_numbers_become_zeros_are_counted_and_a_huge_one_stays_finite) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto signal = [&](int64_t i, bool zeros) {
        double l = 0.3 * std::sin(0.05 * double(i)), r = 0.2 * std::sin(0.13 * double(i));
        if (i == 5000) l = 1e20;
        if (i >= 8000 && i < 8010) l = r = zeros ? 0.0 : nan;
        if (i == 9000) r = zeros ? 0.0 : inf;
        if (i == 9001) l = zeros ? 0.0 : -inf;
        return std::pair{l, r};
    };
    const std::string dirty =
        writeStereo("bad.wav", 30000, [&](int64_t i) { return signal(i, false); });
    const std::string zeroed =
        writeStereo("bad-zeroed.wav", 30000, [&](int64_t i) { return signal(i, true); });
    for (const char* road : {"dx", "vc"}) {
        SCOPED_TRACE(road);
        const std::string out = path(std::string("bad-out-") + road + ".wav");
        const std::string expected = path(std::string("bad-zeroed-out-") + road + ".wav");
        const Result r =
            run("process 'Orq Compressor' " + quote(dirty) + " " + quote(out) + " --road " + road);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("22 non-finite input samples replaced by 0"), std::string::npos)
            << r.out;
        const Result z = run("process 'Orq Compressor' " + quote(zeroed) + " " + quote(expected) +
                             " --road " + road);
        ASSERT_EQ(z.exitCode, 0) << z.err;
        EXPECT_EQ(z.out.find("non-finite"), std::string::npos) << z.out;
        const AudioData processed = readAudio(out, nullptr);
        ASSERT_EQ(processed.frames, 30000);
        const size_t nonFinite =
            size_t(std::count_if(processed.float32.begin(), processed.float32.end(),
                                 [](float v) { return !std::isfinite(v); }));
        EXPECT_EQ(nonFinite, 0u);
        EXPECT_TRUE(sameSamples(out, expected));
    }
}

// Samples at or over full scale in the output are counted, with what to do about them; 16-bit
// output saturates at ±32767, which counts as full scale.
TEST_F(OrqCli, process_says_how_many_output_samples_reach_full_scale_and_what_to_do) {
    const std::string loud = writeStereo("full-scale.wav", 4000, [](int64_t i) {
        const double r =
            i % 100 == 0 ? 1.5 : (i % 100 == 50 ? -1.0 : (i % 100 == 7 ? 0.9999 : -0.25));
        return std::pair{0.5 * std::sin(0.01 * double(i)), r};
    });
    const std::string advice =
        " at or over full scale; lower the input level or the plug-in's gain";
    for (const char* format : {"f32", "s16"}) {
        const Result r = run("process " + kPassthrough + " " + quote(loud) + " " +
                             quote(path("full-scale-out.wav")) + " --format " + format);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(countBefore(r.out, advice), 80) << format << "\n" << r.out;
        EXPECT_NE(r.out.find("output: 80 samples" + advice), std::string::npos) << r.out;
    }
    const std::string quiet = writeStereo("quiet.wav", 4000, [](int64_t i) {
        return std::pair{0.9999 * std::sin(0.01 * double(i)), -0.5};
    });
    const Result r =
        run("process " + kPassthrough + " " + quote(quiet) + " " + quote(path("quiet-out.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("full scale"), std::string::npos) << r.out;
}
