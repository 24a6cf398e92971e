#include "host/audio_output.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace orq::host {

namespace {

constexpr int32_t kChannelsMax = 2;

std::string rateText(int32_t channels, int32_t rate) {
    return std::to_string(channels) + "-channel " + std::to_string(rate) + " Hz";
}

// JACK
// ----------------------------------------------------------------------------------------------

// libjack reports through these; while orq looks for a server its complaints ("cannot connect
// to server socket") are the expected answer, not an error, and orq says itself what it found.
void jackQuiet(const char*) {}
void jackError(const char* message) {
    std::fprintf(stderr, "orq: jack: %s\n", message);
}

std::string jackServerName() {
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return name != nullptr && *name != '\0' ? name : "default";
}

// The names jack_get_ports gives, freed with jack_free.
std::vector<std::string> portNames(jack_client_t* client, unsigned long flags) {
    std::vector<std::string> names;
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags)) {
        for (const char** p = ports; *p != nullptr; ++p)
            names.emplace_back(*p);
        jack_free(ports);
    }
    return names;
}

class JackOutput final : public AudioOutput {
  public:
    // Null when no server runs.
    static std::unique_ptr<JackOutput> connect(const OutputRequest& request) {
        jack_set_error_function(jackQuiet);
        jack_set_info_function(jackQuiet);
        jack_status_t status{};
        jack_client_t* client =
            jack_client_open(request.clientName.c_str(), JackNoStartServer, &status);
        jack_set_error_function(jackError);
        if (client == nullptr) return nullptr;
        return std::unique_ptr<JackOutput>(new JackOutput(client, request));
    }

    ~JackOutput() override {
        if (active_) jack_deactivate(client_);
        jack_client_close(client_);
    }

    std::string description() const override { return description_; }
    int32_t periodFrames() const override { return int32_t(jack_get_buffer_size(client_)); }
    int32_t latencyFrames() const override { return latency_; }

    void start(AudioRenderer& renderer) override {
        // The connections were made at opening; a period later they are surely in the graph
        // the server runs, so nothing rendered is lost before them.
        gateFrame_.store(jack_frame_time(client_) + jack_get_buffer_size(client_),
                         std::memory_order_relaxed);
        renderer_.store(&renderer, std::memory_order_release);
    }

    void stop() override {
        if (active_) jack_deactivate(client_);
        active_ = false;
    }

    int64_t xruns() const override { return xruns_.load(std::memory_order_relaxed); }
    std::string failure() const override {
        std::lock_guard<std::mutex> guard(failureLock_);
        return failure_;
    }
    std::optional<uint32_t> firstFrameTime() const override {
        if (!rendering_.load(std::memory_order_acquire)) return std::nullopt;
        return firstFrame_;
    }

  private:
    JackOutput(jack_client_t* client, const OutputRequest& request)
        : client_(client), channels_(request.channels) {
        const int32_t serverRate = int32_t(jack_get_sample_rate(client_));
        if (serverRate != request.sampleRate) {
            jack_client_close(client_);
            throw std::runtime_error("the input is " + std::to_string(request.sampleRate) +
                                     " Hz but the JACK server '" + jackServerName() + "' runs at " +
                                     std::to_string(serverRate) +
                                     " Hz; orq play does not resample (convert the input, or run "
                                     "the server at the input's rate)");
        }
        try {
            open(request);
        } catch (...) {
            if (active_) jack_deactivate(client_);
            jack_client_close(client_);
            client_ = nullptr;
            throw;
        }
    }

    void open(const OutputRequest& request) {
        for (int32_t c = 0; c < channels_; ++c) {
            const std::string name = "out_" + std::to_string(c + 1);
            ports_[size_t(c)] = jack_port_register(client_, name.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                                   JackPortIsOutput, 0);
            if (ports_[size_t(c)] == nullptr)
                throw std::runtime_error("the JACK server refused orq's port " + name);
        }
        jack_set_process_callback(client_, &JackOutput::process, this);
        jack_set_xrun_callback(client_, &JackOutput::xrun, this);
        jack_on_shutdown(client_, &JackOutput::shutdown, this);
        if (jack_activate(client_) != 0)
            throw std::runtime_error("the JACK server did not activate orq's client");
        active_ = true;

        std::vector<std::string> targets;
        if (request.portPrefix) {
            for (const std::string& name : portNames(client_, JackPortIsInput))
                if (name.starts_with(*request.portPrefix)) targets.push_back(name);
            if (targets.empty())
                throw std::runtime_error("no JACK input port's name begins with '" +
                                         *request.portPrefix + "'");
        } else {
            targets = portNames(client_, JackPortIsInput | JackPortIsPhysical);
        }
        std::string connections;
        // Channel c to target c; a mono stream to the first two.
        const size_t wanted = channels_ == 1 ? 2 : size_t(channels_);
        for (size_t t = 0; t < std::min(wanted, targets.size()); ++t) {
            jack_port_t* port = ports_[channels_ == 1 ? 0 : t];
            const char* from = jack_port_name(port);
            if (jack_connect(client_, from, targets[t].c_str()) != 0)
                throw std::runtime_error("cannot connect " + std::string(from) + " to " +
                                         targets[t]);
            connections += (connections.empty() ? "" : ", ") + std::string(from) + " → " + targets[t];
        }
        jack_recompute_total_latencies(client_);
        jack_latency_range_t range{};
        jack_port_get_latency_range(ports_[0], JackPlaybackLatency, &range);
        latency_ = int32_t(range.max);
        description_ = "JACK server '" + jackServerName() + "', client '" +
                       jack_get_client_name(client_) + "', " +
                       std::to_string(jack_get_buffer_size(client_)) + "-frame period, " +
                       (connections.empty() ? "ports not connected (no playback ports)"
                                            : connections);
    }

    // [audio-thread] no allocation, no lock.
    static int process(jack_nframes_t frames, void* context) {
        auto* self = static_cast<JackOutput*>(context);
        std::array<float*, kChannelsMax> out{};
        for (int32_t c = 0; c < self->channels_; ++c)
            out[size_t(c)] =
                static_cast<float*>(jack_port_get_buffer(self->ports_[size_t(c)], frames));
        AudioRenderer* renderer = self->renderer_.load(std::memory_order_acquire);
        const jack_nframes_t now = jack_last_frame_time(self->client_);
        const bool open = renderer != nullptr &&
                          int32_t(now - self->gateFrame_.load(std::memory_order_relaxed)) >= 0;
        if (!open) {
            for (int32_t c = 0; c < self->channels_; ++c)
                std::memset(out[size_t(c)], 0, frames * sizeof(float));
            return 0;
        }
        if (!self->rendering_.load(std::memory_order_relaxed)) {
            self->firstFrame_ = now;
            self->rendering_.store(true, std::memory_order_release);
        }
        renderer->render(out.data(), int32_t(frames));
        return 0;
    }
    // [JACK's notification thread]
    static int xrun(void* context) {
        auto* self = static_cast<JackOutput*>(context);
        if (self->renderer_.load(std::memory_order_acquire) != nullptr)
            self->xruns_.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    static void shutdown(void* context) {
        auto* self = static_cast<JackOutput*>(context);
        std::lock_guard<std::mutex> guard(self->failureLock_);
        self->failure_ = "the JACK server stopped";
    }

    jack_client_t* client_;
    int32_t channels_;
    std::array<jack_port_t*, kChannelsMax> ports_{};
    bool active_ = false;
    int32_t latency_ = 0;
    std::string description_;
    std::atomic<AudioRenderer*> renderer_{nullptr};
    std::atomic<jack_nframes_t> gateFrame_{0};
    std::atomic<bool> rendering_{false};
    jack_nframes_t firstFrame_ = 0; // written once before rendering_ is set
    std::atomic<int64_t> xruns_{0};
    mutable std::mutex failureLock_;
    std::string failure_;
};

// ALSA
// ----------------------------------------------------------------------------------------------

constexpr unsigned kAlsaLatencyUs = 50000; // the device's buffer: a few periods of this length

// alsa-lib prints its configuration's complaints (no card 0, an unknown PCM) on its own; orq
// says in one line which device failed and why.
void alsaQuiet(const char*, int, const char*, int, const char*, ...) {}

std::string alsaDeviceName() {
    const char* name = std::getenv("ORQ_ALSA_DEVICE");
    return name != nullptr && *name != '\0' ? name : "default";
}

class AlsaOutput final : public AudioOutput {
  public:
    AlsaOutput(const OutputRequest& request, const std::string& device)
        : device_(device), channels_(request.channels) {
        snd_lib_error_set_handler(alsaQuiet);
        int error = snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
        if (error < 0)
            throw std::runtime_error("no audio output: no JACK server '" + jackServerName() +
                                     "' runs, and the ALSA device '" + device_ +
                                     "' cannot be opened (" + snd_strerror(error) + ")");
        error = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_FLOAT, SND_PCM_ACCESS_RW_INTERLEAVED,
                                   unsigned(channels_), unsigned(request.sampleRate),
                                   0 /* no resampling */, kAlsaLatencyUs);
        snd_pcm_uframes_t buffer = 0, period = 0;
        if (error >= 0) error = snd_pcm_get_params(pcm_, &buffer, &period);
        if (error < 0) {
            snd_pcm_close(pcm_);
            throw std::runtime_error("the ALSA device '" + device_ + "' does not play " +
                                     rateText(channels_, request.sampleRate) +
                                     " float audio (" + snd_strerror(error) +
                                     "); orq play does not resample");
        }
        period_ = int32_t(period);
        buffer_ = int32_t(buffer);
        planar_.assign(size_t(period_) * size_t(channels_), 0.0f);
        interleaved_.assign(size_t(period_) * size_t(channels_), 0.0f);
    }

    ~AlsaOutput() override {
        stop();
        snd_pcm_close(pcm_);
    }

    std::string description() const override {
        return "ALSA device '" + device_ + "', " + std::to_string(period_) + "-frame period, " +
               std::to_string(buffer_) + "-frame buffer" +
               (priority_.empty() ? "" : ", " + priority_);
    }
    int32_t periodFrames() const override { return period_; }
    int32_t latencyFrames() const override { return buffer_; }

    void start(AudioRenderer& renderer) override {
        renderer_ = &renderer;
        running_.store(true, std::memory_order_release);
        thread_ = std::thread([this] { run(); });
        // The audio thread runs before every other of orq's when the system lets it.
        sched_param priority{};
        priority.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
        const int error = pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &priority);
        priority_ = error == 0 ? "real-time priority"
                               : std::string("normal priority (") + std::strerror(error) + ")";
    }

    void stop() override {
        if (!thread_.joinable()) return;
        running_.store(false, std::memory_order_release);
        thread_.join();
        snd_pcm_drain(pcm_); // what was written plays out
    }

    int64_t xruns() const override { return xruns_.load(std::memory_order_relaxed); }
    std::string failure() const override {
        std::lock_guard<std::mutex> guard(failureLock_);
        return failure_;
    }

  private:
    // [audio-thread] no allocation: one period rendered and written per turn; writing blocks
    // until the device has room, which paces the loop.
    void run() {
        std::array<float*, kChannelsMax> channels{};
        for (int32_t c = 0; c < channels_; ++c)
            channels[size_t(c)] = planar_.data() + size_t(c) * size_t(period_);
        while (running_.load(std::memory_order_acquire)) {
            renderer_->render(channels.data(), period_);
            for (int32_t i = 0; i < period_; ++i)
                for (int32_t c = 0; c < channels_; ++c)
                    interleaved_[size_t(i) * size_t(channels_) + size_t(c)] =
                        channels[size_t(c)][i];
            snd_pcm_sframes_t left = period_;
            const float* from = interleaved_.data();
            while (left > 0) {
                const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, from, snd_pcm_uframes_t(left));
                if (written == -EPIPE || written == -ESTRPIPE) {
                    xruns_.fetch_add(1, std::memory_order_relaxed);
                    if (const int error = snd_pcm_recover(pcm_, int(written), 1); error < 0) {
                        fail(error);
                        return;
                    }
                    continue;
                }
                if (written == -EAGAIN || written == -EINTR) continue;
                if (written < 0) {
                    fail(int(written));
                    return;
                }
                left -= written;
                from += written * channels_;
            }
        }
    }
    void fail(int error) {
        std::lock_guard<std::mutex> guard(failureLock_);
        failure_ = "the ALSA device '" + device_ + "' failed (" + snd_strerror(error) + ")";
    }

    std::string device_;
    int32_t channels_;
    snd_pcm_t* pcm_ = nullptr;
    int32_t period_ = 0;
    int32_t buffer_ = 0;
    std::vector<float> planar_;
    std::vector<float> interleaved_;
    AudioRenderer* renderer_ = nullptr;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int64_t> xruns_{0};
    std::string priority_;
    mutable std::mutex failureLock_;
    std::string failure_;
};

} // namespace

std::unique_ptr<AudioOutput> openAudioOutput(const OutputRequest& request) {
    if (request.channels < 1 || request.channels > kChannelsMax)
        throw std::runtime_error("orq plays one or two channels, not " +
                                 std::to_string(request.channels));
    if (std::unique_ptr<JackOutput> jack = JackOutput::connect(request)) return jack;
    if (request.portPrefix)
        throw std::runtime_error("--port-prefix names JACK ports, and no JACK server '" +
                                 jackServerName() + "' runs");
    return std::make_unique<AlsaOutput>(request, alsaDeviceName());
}

} // namespace orq::host
