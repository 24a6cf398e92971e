// The real-time player driven without an audio device: the test calls render period by period,
// as an output's audio thread would, on the pass-through plug-in and the maximizer.
#include "host/audio_file.h"
#include "host/commands.h"
#include "host/plugin_library.h"
#include "host/realtime_player.h"
#include "host/session.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;

namespace {

constexpr int32_t kRateHz = 44100;
constexpr int32_t kPeriodFrames = 256;
const std::string kPassThrough = ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so";
const std::string kPressane = ORQ_PLUGIN_DIR "/pressane_dx.so";

AudioData music(int64_t frames, int32_t channels = 2) {
    AudioData a;
    a.channels = channels;
    a.sampleRate = kRateHz;
    a.frames = frames;
    a.format = SampleFormat::Float32;
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRateHz;
        a.float32.push_back(float(0.7 * std::sin(2 * std::numbers::pi * 220 * t) *
                                  std::sin(5.3 * t + 0.2)));
        if (channels == 2)
            a.float32.push_back(float(0.6 * std::sin(2 * std::numbers::pi * 331 * t + 0.3)));
    }
    return a;
}

class RealtimePlayerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("orq-player-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        setenv("ORQ_REGISTRY", (dir_ / "registry").c_str(), 1); // empty: libraries by path
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    static std::unique_ptr<Session> open(const std::string& plugin,
                                         const std::vector<std::string>& settings) {
        std::unique_ptr<Session> session = openSession(findPlugin(plugin), Road::HostExtension);
        std::vector<Setting> parsed;
        for (const std::string& s : settings)
            parsed.push_back(parseSetting(s));
        session->apply(parsed);
        return session;
    }

    // Renders period after period until the player is done (or maxFrames), interleaved.
    static std::vector<float> playAll(RealtimePlayer& player, int64_t maxFrames) {
        const int32_t channels = player.channelCount();
        std::vector<float> out;
        std::array<std::vector<float>, 2> period;
        for (auto& p : period)
            p.assign(kPeriodFrames, 0.0f);
        std::array<float*, 2> pointers{period[0].data(), period[1].data()};
        while (!player.finished() && int64_t(out.size()) / channels < maxFrames) {
            player.render(pointers.data(), kPeriodFrames);
            for (int32_t i = 0; i < kPeriodFrames; ++i)
                for (int32_t c = 0; c < channels; ++c)
                    out.push_back(period[size_t(c)][size_t(i)]);
        }
        return out;
    }

    static fs::path dir_;
};
fs::path RealtimePlayerTest::dir_;

// Index of the first sample where played (from frame offset on) differs from expected, or -1.
int64_t firstDifference(const std::vector<float>& played, int64_t offsetSamples,
                        const std::vector<float>& expected) {
    for (size_t i = 0; i < expected.size(); ++i)
        if (size_t(offsetSamples) + i >= played.size() ||
            played[size_t(offsetSamples) + i] != expected[i])
            return int64_t(i);
    return -1;
}

TEST_F(RealtimePlayerTest, played_output_after_the_latency_is_the_file_run_sample_for_sample) {
    // Shorter than the ring, so the reader is never behind a test that renders faster than real
    // time.
    const AudioData input = music(60000);
    for (const auto& [plugin, settings] :
         std::vector<std::pair<std::string, std::vector<std::string>>>{
             {kPassThrough, {}}, {kPressane, {"DesGain=8", "Comp=0.4"}}}) {
        SCOPED_TRACE(plugin);
        std::unique_ptr<Session> reference = open(plugin, settings);
        MemorySource referenceInput(input);
        MemorySink expected(input.streamFormat());
        RunSummary summary;
        reference->run(referenceInput, expected, summary, {});

        std::unique_ptr<Session> session = open(plugin, settings);
        MemorySource source(input);
        RealtimePlayer player(*session, source, {});
        EXPECT_EQ(player.latencyFrames(), summary.latencyFrames);
        const std::vector<float> played = playAll(player, 10 * input.frames);
        ASSERT_TRUE(player.finished());
        RunSummary meters;
        player.stop(meters);
        const int64_t latencySamples = int64_t(player.latencyFrames()) * input.channels;
        const int64_t differs = firstDifference(played, latencySamples, expected.audio().float32);
        if (differs >= 0) {
            const size_t at = size_t(latencySamples + differs);
            ADD_FAILURE() << "sample " << differs << " after the latency: played "
                          << (at < played.size() ? std::to_string(played[at]) : "nothing")
                          << ", the file run " << expected.audio().float32[size_t(differs)];
        }
        // The plug-in starts from silence: nothing comes out before its latency is over.
        for (int64_t i = 0; i < latencySamples; ++i)
            ASSERT_EQ(played[size_t(i)], 0.0f) << "sample " << i;
        const PlayCounts counts = player.counts();
        EXPECT_EQ(counts.inputFrames, input.frames);
        EXPECT_EQ(counts.ringUnderruns, 0);
        ASSERT_EQ(meters.input.size(), 2u);
        EXPECT_GT(meters.input[0].peak, 0.6f);
    }
}

TEST_F(RealtimePlayerTest, loop_starts_the_input_over_and_stops_at_the_limit) {
    const AudioData input = music(1000, 1);
    std::unique_ptr<Session> session = open(kPassThrough, {});
    MemorySource source(input);
    RealtimePlayer::Options options;
    options.loop = true;
    options.limitFrames = 2500;
    RealtimePlayer player(*session, source, options);
    ASSERT_EQ(player.latencyFrames(), 0);
    const std::vector<float> played = playAll(player, 100000);
    EXPECT_EQ(player.counts().inputFrames, 2500);
    ASSERT_GE(played.size(), 2500u);
    int64_t wrong = 0;
    for (int64_t i = 0; i < 2500; ++i)
        if (played[size_t(i)] != input.float32[size_t(i % 1000)]) ++wrong;
    EXPECT_EQ(wrong, 0);
    for (size_t i = 2500; i < played.size(); ++i)
        ASSERT_EQ(played[i], 0.0f) << "after the limit, frame " << i;
    RunSummary summary;
    player.stop(summary);
}

TEST_F(RealtimePlayerTest, a_value_changed_between_two_periods_is_heard_in_the_next) {
    const AudioData input = music(20 * kPeriodFrames, 1);
    std::unique_ptr<Session> session = open(kPassThrough, {});
    MemorySource source(input);
    RealtimePlayer player(*session, source, {});
    std::vector<float> period(kPeriodFrames);
    std::array<float*, 2> out{period.data(), nullptr};
    for (int i = 0; i < 4; ++i)
        player.render(out.data(), kPeriodFrames);
    // As an editor sends a change: through the record's settings exchange, under its lock.
    session->writeValue(requireParameter(session->store(), "Gain"), 0.5f);
    player.render(out.data(), kPeriodFrames);
    int64_t wrong = 0;
    for (int32_t i = 0; i < kPeriodFrames; ++i)
        if (period[size_t(i)] != 0.5f * input.float32[size_t(4 * kPeriodFrames + i)]) ++wrong;
    EXPECT_EQ(wrong, 0) << "the fifth period, first sample " << period[0];
}

// A source that hands out its first frames at once and the rest only when released.
class HeldSource final : public AudioSource {
  public:
    HeldSource(const AudioData& audio, int64_t freeFrames) : inner_(audio), free_(freeFrames) {}
    const StreamFormat& format() const override { return inner_.format(); }
    int64_t read(void* bytes, int64_t frames) override {
        if (served_ >= free_) {
            std::unique_lock<std::mutex> lock(mutex_);
            released_.wait(lock, [&] { return open_; });
        }
        frames = served_ < free_ ? std::min(frames, free_ - served_) : frames;
        const int64_t got = inner_.read(bytes, frames);
        served_ += got;
        return got;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        released_.notify_all();
    }

  private:
    MemorySource inner_;
    int64_t free_;
    int64_t served_ = 0;
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
};

TEST_F(RealtimePlayerTest, a_reader_behind_the_callback_counts_underruns_and_the_input_resumes) {
    const AudioData input = music(200000);
    std::unique_ptr<Session> session = open(kPassThrough, {});
    // The ring holds 65536 frames at 44100 Hz; the reader is held after filling it.
    HeldSource source(input, 65536);
    RealtimePlayer player(*session, source, {});
    const std::vector<float> first = playAll(player, 65536 + 4 * kPeriodFrames);
    const PlayCounts held = player.counts();
    EXPECT_EQ(held.inputFrames, 65536);
    EXPECT_EQ(held.ringUnderruns, 4); // the four periods after the ring ran dry
    for (size_t i = size_t(65536) * 2; i < first.size(); ++i)
        ASSERT_EQ(first[i], 0.0f) << "silence while the ring is empty, sample " << i;
    EXPECT_FALSE(player.finished());

    source.release();
    while (player.counts().inputFrames == held.inputFrames) {
        std::vector<float> scratch = playAll(player, kPeriodFrames);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    playAll(player, 10 * input.frames);
    EXPECT_TRUE(player.finished());
    EXPECT_EQ(player.counts().inputFrames, input.frames);
    RunSummary summary;
    player.stop(summary);
}

// A source that fails partway, as a file that ends before its stated length does.
class FailingSource final : public AudioSource {
  public:
    explicit FailingSource(const AudioData& audio) : inner_(audio) {}
    const StreamFormat& format() const override { return inner_.format(); }
    int64_t read(void* bytes, int64_t frames) override {
        if (served_ >= 5000) throw std::runtime_error("'in.wav' ends before its stated length");
        const int64_t got = inner_.read(bytes, std::min<int64_t>(frames, 5000 - served_));
        served_ += got;
        return got;
    }

  private:
    MemorySource inner_;
    int64_t served_ = 0;
};

TEST_F(RealtimePlayerTest, an_input_that_fails_ends_the_play_and_stop_reports_it) {
    const AudioData input = music(20000);
    std::unique_ptr<Session> session = open(kPassThrough, {});
    FailingSource source(input);
    RealtimePlayer player(*session, source, {});
    playAll(player, 100000);
    EXPECT_TRUE(player.finished());
    EXPECT_EQ(player.counts().inputFrames, 5000);
    RunSummary summary;
    try {
        player.stop(summary);
        FAIL() << "stop did not report the reader's failure";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "'in.wav' ends before its stated length");
    }
}

} // namespace

namespace {

TEST(PlayOptions, every_option_is_read_and_what_cannot_be_meant_is_refused) {
    const PlayOptions o = parsePlay({"Orq Pressane", "in.wav", "--set", "DesGain=6", "--loop",
                                     "--seconds", "2.5", "--editor", "--port-prefix", "rec:in_",
                                     "--state", "a.state", "--save-state", "b.state"});
    EXPECT_EQ(o.plugin, "Orq Pressane");
    EXPECT_EQ(o.input, "in.wav");
    ASSERT_EQ(o.settings.size(), 1u);
    EXPECT_EQ(o.settings[0].key, "DesGain");
    EXPECT_TRUE(o.loop);
    EXPECT_TRUE(o.editor);
    EXPECT_EQ(o.seconds, 2.5);
    EXPECT_EQ(o.portPrefix, "rec:in_");
    EXPECT_EQ(o.state, "a.state");
    EXPECT_EQ(o.saveState, "b.state");

    auto refusal = [](const std::vector<std::string>& args) -> std::string {
        try {
            parsePlay(args);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "accepted";
    };
    EXPECT_EQ(refusal({"p"}), "play takes PLUGIN INPUT");
    EXPECT_EQ(refusal({"p", "in", "out"}), "play takes PLUGIN INPUT");
    EXPECT_EQ(refusal({"p", "in", "--seconds", "0"}), "--seconds takes a time above 0 seconds");
    EXPECT_EQ(refusal({"p", "in", "--seconds", "1s"}),
              "'1s' is not a number (--seconds; decimal only)");
    EXPECT_EQ(refusal({"p", "in", "--port-prefix", ""}), "--port-prefix takes a port name's start");
    EXPECT_EQ(refusal({"p", "in", "--output", "x.wav"}), "unknown option '--output'");
    EXPECT_EQ(refusal({"p", "in", "--state"}), "--state needs a value");
}

} // namespace
