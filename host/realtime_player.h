// A plug-in played in real time: a reader thread reads the input ahead into a lock-free ring,
// and the audio callback of an output (JACK, ALSA) takes each period from the ring, runs it
// through the plug-in's record and hands the result on. The callback allocates nothing and
// takes no lock of the host; the only lock it can meet is the plug-in's own, which its process
// entry takes as every frame does (and which the editor's value exchanges take too, so a change
// made in the editor is heard from the next period on).
#pragma once

#include "host/audio_file.h"
#include "host/audio_output.h"
#include "host/sample_ring.h"
#include "host/session.h"

#include "runtime/audio_buffers.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <optional>
#include <thread>
#include <vector>

namespace orq::host {

// What the callback counts while playing.
struct PlayCounts {
    int64_t inputFrames = 0;     // frames of the input handed to the plug-in
    int64_t callbacks = 0;       // render calls
    int64_t ringUnderruns = 0;   // callbacks that found the ring short while the input went on
    int64_t slowCallbacks = 0;   // callbacks that took longer than the audio they rendered lasts
    int64_t longestCallbackNs = 0;
};

class RealtimePlayer final : public AudioRenderer {
  public:
    struct Options {
        bool loop = false;                  // start the input over at its end
        std::optional<int64_t> limitFrames; // play at most this many frames of input
    };
    // [ui-thread] allocates: starts the session's plug-in for the source's format, starts the
    // reader thread and returns once the ring is full (or holds the whole input). The source
    // belongs to the reader thread from here on. Throws when the plug-in refuses the format.
    RealtimePlayer(Session& session, AudioSource& source, const Options& options);
    // Stops the reader thread.
    ~RealtimePlayer();
    RealtimePlayer(const RealtimePlayer&) = delete;
    RealtimePlayer& operator=(const RealtimePlayer&) = delete;

    int32_t latencyFrames() const { return latency_; }
    int32_t channelCount() const { return channels_; }
    int32_t sampleRate() const { return rate_; }

    // [audio-thread] no allocation, no lock of the host: the next frames of output into
    // channels[c], one array per channel of the input. After the input (and, with --loop,
    // never) the plug-in is fed silence, so its delayed output comes out whole.
    void render(float* const* channels, int32_t frames) noexcept override;

    // [any-thread] the input and the plug-in's latency after it have been rendered.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // [any-thread] a snapshot of the counts.
    PlayCounts counts() const;

    // [ui-thread] once the output no longer calls render: stops the reader and the plug-in and
    // reads the meters into summary. Rethrows a failure of the reader (an unreadable input).
    void stop(RunSummary& summary);

  private:
    void readAhead() noexcept;
    void feed(float* const* inputs, int32_t frames);

    Session& session_;
    AudioSource& source_;
    Options options_;
    PluginRecord* record_ = nullptr;
    int32_t channels_ = 0;
    int32_t rate_ = 0;
    int32_t latency_ = 0;
    AudioBuffers buffers_;
    SampleRing ring_;

    std::thread reader_;
    std::atomic<bool> stopReading_{false};
    std::atomic<bool> inputDone_{false}; // the reader has written its last frame
    std::exception_ptr readFailure_;     // written by the reader before inputDone_
    bool stopped_ = false;

    // The callback's own state (read by counts() on other threads through atomics).
    bool inputEnded_ = false;
    int64_t tailFrames_ = 0; // silence fed after the input
    std::atomic<bool> finished_{false};
    std::atomic<int64_t> inputFrames_{0};
    std::atomic<int64_t> callbacks_{0};
    std::atomic<int64_t> ringUnderruns_{0};
    std::atomic<int64_t> slowCallbacks_{0};
    std::atomic<int64_t> longestCallbackNs_{0};
};

} // namespace orq::host
