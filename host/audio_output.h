// The system's audio output as orq play drives it: a JACK client when a JACK server runs (a
// PipeWire session serves JACK clients too), otherwise an ALSA PCM fed by a thread of orq's own.
// Either calls an AudioRenderer once per period on its audio thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace orq::host {

class AudioRenderer {
  public:
    // [audio-thread] no allocation, no lock: fills channels[c][0 … frames) for every channel.
    virtual void render(float* const* channels, int32_t frames) noexcept = 0;

  protected:
    ~AudioRenderer() = default;
};

struct OutputRequest {
    int32_t sampleRate = 0;
    int32_t channels = 0;
    // JACK: the output ports are connected to the input ports whose full names begin with this
    // ("system:playback_", "recorder:in_"), in the server's order; none: the physical playback
    // ports. A mono stream goes to the first two.
    std::optional<std::string> portPrefix;
    std::string clientName = "orq";
};

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // One line naming the output: server or device, period, connections.
    virtual std::string description() const = 0;
    virtual int32_t periodFrames() const = 0;
    // Frames from a rendered sample to the output (the server's or the device's buffering).
    virtual int32_t latencyFrames() const = 0;
    // [ui-thread] the audio thread calls renderer.render from the next period on.
    virtual void start(AudioRenderer& renderer) = 0;
    // [ui-thread] once it returns, render is not called again.
    virtual void stop() = 0;
    // [any-thread] periods the server or the device missed (xruns) since start.
    virtual int64_t xruns() const = 0;
    // [any-thread] why the output ended by itself (its server went away), or empty.
    virtual std::string failure() const = 0;
    // The JACK server's frame time at the first rendered frame (once rendering has begun).
    virtual std::optional<uint32_t> firstFrameTime() const { return std::nullopt; }
};

// The JACK server named by $JACK_DEFAULT_SERVER (or the default one) when it runs, otherwise the
// ALSA device $ORQ_ALSA_DEVICE (or "default"). Throws with one clear line when neither plays the
// request: a server or device at another sample rate is refused (orq does not resample), and so
// is a port prefix that no port matches.
std::unique_ptr<AudioOutput> openAudioOutput(const OutputRequest& request);

} // namespace orq::host
