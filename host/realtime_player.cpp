#include "host/realtime_player.h"

#include "runtime/plugin_boundary.h"
#include "runtime/sample_conversion.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace orq::host {

namespace {

constexpr int32_t kChannelsMax = 2;
constexpr int32_t kCallFramesMax = 8192; // the float block handed to the plug-in per call
constexpr int32_t kReadFrames = 4096;    // the reader's piece of the input
constexpr std::chrono::milliseconds kReaderPause{2}; // while the ring is full
constexpr std::chrono::milliseconds kFillPause{1};   // while the ring is being filled at start

// About a second of audio, and never less than a few of the reader's pieces.
int64_t ringFrames(int32_t sampleRate) {
    return std::max<int64_t>(sampleRate, 4 * int64_t(kReadFrames));
}

} // namespace

RealtimePlayer::RealtimePlayer(Session& session, AudioSource& source, const Options& options)
    : session_(session), source_(source), options_(options), record_(session.record()),
      channels_(source.format().channels), rate_(source.format().sampleRate),
      buffers_(kChannelsMax, kChannelsMax, kCallFramesMax, BufferLayout::Shared,
               source.format().sampleRate),
      ring_(std::max(1, source.format().channels), ringFrames(source.format().sampleRate)) {
    latency_ = session_.startStream(source.format(), kCallFramesMax);
    reader_ = std::thread([this] { readAhead(); });
    while (!inputDone_.load(std::memory_order_acquire) && ring_.writableFrames() >= kReadFrames)
        std::this_thread::sleep_for(kFillPause);
}

RealtimePlayer::~RealtimePlayer() {
    stopReading_.store(true, std::memory_order_release);
    if (reader_.joinable()) reader_.join();
    if (!stopped_) {
        RunSummary ignored;
        session_.stopStream(ignored);
    }
}

// [reader-thread] allocates only here at its start.
void RealtimePlayer::readAhead() noexcept {
    try {
        const StreamFormat& format = source_.format();
        std::vector<uint8_t> staging(size_t(kReadFrames) * size_t(format.bytesPerFrame()));
        std::vector<float> planar(size_t(kReadFrames) * size_t(channels_));
        std::array<float*, kChannelsMax> pointers{};
        for (int32_t c = 0; c < channels_; ++c)
            pointers[size_t(c)] = planar.data() + size_t(c) * size_t(kReadFrames);
        int64_t fed = 0;
        while (!stopReading_.load(std::memory_order_acquire)) {
            int64_t want = kReadFrames;
            if (options_.limitFrames) want = std::min(want, *options_.limitFrames - fed);
            if (want <= 0) break;
            int64_t got = source_.read(staging.data(), want);
            if (got == 0 && options_.loop && fed > 0 && source_.rewind())
                got = source_.read(staging.data(), want);
            if (got == 0) break;
            convertIn(staging.data(), format.format, channels_, pointers.data(), int32_t(got));
            int64_t written = 0;
            while (written < got && !stopReading_.load(std::memory_order_acquire)) {
                std::array<const float*, kChannelsMax> from{};
                for (int32_t c = 0; c < channels_; ++c)
                    from[size_t(c)] = pointers[size_t(c)] + written;
                const int64_t n = ring_.write(from.data(), got - written);
                written += n;
                if (n == 0) std::this_thread::sleep_for(kReaderPause);
            }
            fed += got;
        }
    } catch (...) {
        readFailure_ = std::current_exception();
    }
    inputDone_.store(true, std::memory_order_release);
}

void RealtimePlayer::feed(float* const* inputs, int32_t frames) {
    int64_t got = 0;
    if (!inputEnded_) {
        // Read before the ring: when the reader is done, everything it wrote is in the ring.
        const bool readerDone = inputDone_.load(std::memory_order_acquire);
        got = ring_.read(inputs, 0, frames);
        if (got < frames) {
            if (readerDone)
                inputEnded_ = true;
            else
                ringUnderruns_.fetch_add(1, std::memory_order_relaxed);
        }
        inputFrames_.fetch_add(got, std::memory_order_relaxed);
    }
    for (int32_t c = 0; c < channels_; ++c)
        std::memset(inputs[c] + got, 0, size_t(frames - got) * sizeof(float));
    if (inputEnded_) tailFrames_ += frames - got;
}

void RealtimePlayer::render(float* const* channels, int32_t frames) noexcept {
    const auto start = std::chrono::steady_clock::now();
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(frames - done, kCallFramesMax);
        feed(buffers_.inputs(), n);
        buffers_.setFrames(n);
        const int32_t produced = std::clamp(record_->process(record_, &buffers_), 0, n);
        float* const* out = buffers_.outputs();
        for (int32_t c = 0; c < channels_; ++c) {
            std::memcpy(channels[c] + done, out[c], size_t(produced) * sizeof(float));
            std::memset(channels[c] + done + produced, 0, size_t(n - produced) * sizeof(float));
        }
        done += n;
    }
    if (inputEnded_ && tailFrames_ >= latency_) finished_.store(true, std::memory_order_release);

    const int64_t elapsedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count();
    const int64_t periodNs = int64_t(frames) * 1'000'000'000 / rate_;
    callbacks_.fetch_add(1, std::memory_order_relaxed);
    if (elapsedNs > periodNs) slowCallbacks_.fetch_add(1, std::memory_order_relaxed);
    if (elapsedNs > longestCallbackNs_.load(std::memory_order_relaxed))
        longestCallbackNs_.store(elapsedNs, std::memory_order_relaxed);
}

PlayCounts RealtimePlayer::counts() const {
    PlayCounts c;
    c.inputFrames = inputFrames_.load(std::memory_order_relaxed);
    c.callbacks = callbacks_.load(std::memory_order_relaxed);
    c.ringUnderruns = ringUnderruns_.load(std::memory_order_relaxed);
    c.slowCallbacks = slowCallbacks_.load(std::memory_order_relaxed);
    c.longestCallbackNs = longestCallbackNs_.load(std::memory_order_relaxed);
    return c;
}

void RealtimePlayer::stop(RunSummary& summary) {
    stopReading_.store(true, std::memory_order_release);
    if (reader_.joinable()) reader_.join();
    stopped_ = true;
    session_.stopStream(summary);
    summary.latencyFrames = latency_;
    if (readFailure_) std::rethrow_exception(readFailure_);
}

} // namespace orq::host
