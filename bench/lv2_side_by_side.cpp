// lv2_side_by_side [BUNDLE] [--rounds N] [--only TEXT]: the suite's LV2 plug-ins and the
// Debian-packaged peers of their kind (x42-plugins, lsp-plugins-lv2, calf-plugins, zam-plugins) in
// one small block host (512-frame blocks, as DAWs run them) on the same 60-second file. Prints one
// Markdown table per kind: real-time multiple by the running thread's CPU time and by wall time
// (each the best of N rounds, every round running all plug-ins in turn, so a burst of the
// machine's other work hits one round of every plug-in rather than all rounds of one), latency
// reported and measured (an impulse's delay), sample peak, true peak (4x oversampled) and the
// loudness change (BS.1770 integrated, output minus input). --only keeps the plug-ins whose label
// contains TEXT (for a profiler run). Not a test: the figures go into docs/benchmarks.md.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kRateHz = 44100.0;
constexpr int32_t kBlockFrames = 512;
constexpr size_t kSeconds = 60;
constexpr size_t kAtomBytes = 65536;
constexpr size_t kImpulseFrame = 8192;
constexpr size_t kImpulseSignalFrames = 65536;
constexpr float kImpulseLevel = 0.5f;

struct Stereo {
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
};

// The file: a chord of decaying partials, a kick-like thump and noisy hats on a 120 bpm grid,
// and a pink-ish bed, peaking at -1 dBFS.
Stereo testFile() {
    const size_t frames = size_t(kRateHz) * kSeconds;
    Stereo s{std::vector<float>(frames), std::vector<float>(frames)};
    std::mt19937 random(1234);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double beat = kRateHz / 2.0;
    double pinkL = 0.0, pinkR = 0.0;
    const double partials[] = {110.0, 164.8, 220.0, 277.2, 329.6, 440.0};
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRateHz;
        const double inBeat = std::fmod(double(i), beat) / kRateHz;
        const double inBar = std::fmod(double(i), 4 * beat) / kRateHz;
        double chord = 0.0;
        for (size_t k = 0; k < std::size(partials); ++k)
            chord += std::sin(2 * std::numbers::pi * partials[k] * t + double(k)) / double(k + 1);
        chord *= 0.25 * std::exp(-0.6 * inBar);
        const double kick = 0.8 * std::sin(2 * std::numbers::pi * 55.0 * inBeat * (1 + 2 * std::exp(-30 * inBeat))) *
                            std::exp(-8 * inBeat);
        pinkL = 0.98 * pinkL + 0.02 * gauss(random);
        pinkR = 0.98 * pinkR + 0.02 * gauss(random);
        const double hat = std::fmod(inBeat, 0.25) < 0.03 ? 0.15 * gauss(random) : 0.0;
        s.left[i] = float(chord + kick + 0.8 * pinkL + hat);
        s.right[i] = float(0.9 * chord + kick + 0.8 * pinkR - hat);
    }
    float peak = 0.0f;
    for (size_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(s.left[i]), std::fabs(s.right[i])});
    const float scale = std::pow(10.0f, -1.0f / 20.0f) / peak;
    for (size_t i = 0; i < frames; ++i) {
        s.left[i] *= scale;
        s.right[i] *= scale;
    }
    return s;
}

// BS.1770 integrated loudness (K-weighting, 400 ms blocks every 100 ms, gates at -70 LUFS and
// 10 LU below the ungated mean).
double integratedLoudness(const Stereo& s) {
    struct Biquad {
        double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
        double run(double x) {
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };
    auto shelf = [] {
        const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(std::numbers::pi * f0 / kRateHz);
        const double vh = std::pow(10.0, gainDb / 20.0), vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        return Biquad{(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
                      (vh - vb * k / q + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
                      (1.0 - k / q + k * k) / a0};
    };
    auto highPass = [] {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(std::numbers::pi * f0 / kRateHz);
        const double a0 = 1.0 + k / q + k * k;
        return Biquad{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    };
    const size_t step = size_t(kRateHz / 10), block = 4 * step;
    std::vector<double> power(s.frames() / step + 1, 0.0);
    for (const std::vector<float>* channel : {&s.left, &s.right}) {
        Biquad a = shelf(), b = highPass();
        for (size_t i = 0; i < s.frames(); ++i) {
            const double y = b.run(a.run((*channel)[i]));
            power[i / step] += y * y;
        }
    }
    std::vector<double> blocks;
    for (size_t at = 0; at + 4 <= power.size() && (at + 4) * step <= s.frames(); ++at)
        blocks.push_back((power[at] + power[at + 1] + power[at + 2] + power[at + 3]) / double(block));
    auto loudness = [](double z) { return -0.691 + 10.0 * std::log10(z); };
    auto gatedMean = [&](double gate) {
        double sum = 0;
        size_t n = 0;
        for (double z : blocks)
            if (z > 0 && loudness(z) > gate) sum += z, ++n;
        return n ? sum / double(n) : 0.0;
    };
    const double ungated = gatedMean(-70.0);
    if (ungated <= 0) return -HUGE_VAL;
    return loudness(gatedMean(loudness(ungated) - 10.0));
}

size_t samplesAboveFullScale(const Stereo& s) {
    size_t n = 0;
    for (size_t i = 0; i < s.frames(); ++i) n += (std::fabs(s.left[i]) > 1.0f) + (std::fabs(s.right[i]) > 1.0f);
    return n;
}

double samplePeakDb(const Stereo& s) {
    float peak = 0.0f;
    for (size_t i = 0; i < s.frames(); ++i) peak = std::max({peak, std::fabs(s.left[i]), std::fabs(s.right[i])});
    return 20.0 * std::log10(std::max(peak, 1e-12f));
}

// 4x oversampled peak through a Blackman-windowed sinc interpolator (48 taps per phase).
double truePeakDb(const Stereo& s) {
    constexpr int kFactor = 4, kTaps = 48;
    std::vector<double> kernel(kFactor * kTaps);
    for (int n = 0; n < kFactor * kTaps; ++n) {
        const double x = (double(n) - (kFactor * kTaps - 1) / 2.0) / kFactor;
        const double w = 0.42 - 0.5 * std::cos(2 * std::numbers::pi * n / (kFactor * kTaps - 1)) +
                         0.08 * std::cos(4 * std::numbers::pi * n / (kFactor * kTaps - 1));
        kernel[size_t(n)] = (x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x)) * w;
    }
    double peak = 0.0;
    for (const std::vector<float>* channel : {&s.left, &s.right}) {
        const std::vector<float>& x = *channel;
        for (size_t i = kTaps; i < x.size(); ++i) {
            for (int phase = 0; phase < kFactor; ++phase) {
                double y = 0;
                for (int t = 0; t < kTaps; ++t) y += kernel[size_t(t * kFactor + phase)] * x[i - size_t(t)];
                peak = std::max(peak, std::fabs(y));
            }
        }
    }
    return 20.0 * std::log10(std::max(peak, 1e-12));
}

class Urids {
  public:
    Urids() {
        map_ = {this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Urids*>(h)->map(uri); }};
        unmap_ = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) { return static_cast<Urids*>(h)->unmap(id); }};
    }
    LV2_URID map(const char* uri) {
        auto [it, added] = ids_.emplace(uri, LV2_URID(ids_.size() + 1));
        if (added) names_.push_back(it->first);
        return it->second;
    }
    const char* unmap(LV2_URID id) { return id >= 1 && id <= names_.size() ? names_[id - 1].c_str() : nullptr; }
    LV2_URID_Map* mapFeature() { return &map_; }
    LV2_URID_Unmap* unmapFeature() { return &unmap_; }

  private:
    std::map<std::string, LV2_URID> ids_;
    std::vector<std::string> names_;
    LV2_URID_Map map_;
    LV2_URID_Unmap unmap_;
};

struct Candidate {
    const char* kind;
    const char* label;
    std::string uri;
    std::vector<std::pair<const char*, float>> settings;
};

struct Result {
    double cpuMultiple = 0, wallMultiple = 0; // the best round's
    std::optional<int> reportedLatency;
    long measuredLatency = 0;
    double samplePeak = 0, truePeak = 0, loudnessChange = 0;
    size_t overs = 0;
    bool audioOut = true;
};

struct Seconds {
    double wall = 0, cpu = 0;
};

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

class Host {
  public:
    Host(LilvWorld* world, const LilvPlugin* plugin, Urids& urids,
         const std::vector<std::pair<const char*, float>>& settings)
        : world_(world), plugin_(plugin), urids_(urids) {
        options_ = {
            {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), urids.map(LV2_ATOM__Int), &block_},
            {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), urids.map(LV2_ATOM__Int), &one_},
            {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), urids.map(LV2_ATOM__Int), &block_},
            {LV2_OPTIONS_INSTANCE, 0, urids.map("http://lv2plug.in/ns/lv2core#sampleRate"), sizeof(float), urids.map(LV2_ATOM__Float), &rate_},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature map{LV2_URID__map, urids.mapFeature()};
        const LV2_Feature unmap{LV2_URID__unmap, urids.unmapFeature()};
        const LV2_Feature options{LV2_OPTIONS__options, options_.data()};
        const LV2_Feature bounded{LV2_BUF_SIZE__boundedBlockLength, nullptr};
        const LV2_Feature* features[] = {&map, &unmap, &options, &bounded, nullptr};
        instance_ = lilv_plugin_instantiate(plugin, kRateHz, features);
        if (instance_ == nullptr) return;

        const uint32_t n = lilv_plugin_get_num_ports(plugin);
        std::vector<float> minimum(n), maximum(n), defaults(n);
        lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
        controls_.assign(n, 0.0f);
        atoms_.resize(n);
        buffers_.resize(n);
        LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
        LilvNode* cv = lilv_new_uri(world, LV2_CORE__CVPort);
        LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
        LilvNode* atom = lilv_new_uri(world, LV2_ATOM__AtomPort);
        LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
        LilvNode* latency = lilv_new_uri(world, LV2_CORE__latency);
        LilvNode* reports = lilv_new_uri(world, LV2_CORE__reportsLatency);
        LilvNode* designation = lilv_new_uri(world, LV2_CORE__designation);
        for (uint32_t i = 0; i < n; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            const bool in = lilv_port_is_a(plugin, port, input);
            const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            if (lilv_port_is_a(plugin, port, audio) || lilv_port_is_a(plugin, port, cv)) {
                buffers_[i].assign(size_t(kBlockFrames), 0.0f);
                lilv_instance_connect_port(instance_, i, buffers_[i].data());
                if (lilv_port_is_a(plugin, port, audio)) (in ? audioIn_ : audioOut_).push_back(i);
            } else if (lilv_port_is_a(plugin, port, control)) {
                float value = std::isnan(defaults[i]) ? (std::isnan(minimum[i]) ? 0.0f : minimum[i]) : defaults[i];
                for (const auto& [name, v] : settings)
                    if (symbol == name) value = v;
                controls_[i] = value;
                lilv_instance_connect_port(instance_, i, &controls_[i]);
                LilvNodes* d = lilv_port_get_value(plugin, port, designation);
                const bool designated = d != nullptr && lilv_nodes_contains(d, latency);
                lilv_nodes_free(d);
                if (!in && (designated || lilv_port_has_property(plugin, port, reports)))
                    latencyPort_ = int32_t(i);
            } else if (lilv_port_is_a(plugin, port, atom)) {
                atoms_[i].assign(kAtomBytes / sizeof(uint64_t), 0);
                lilv_instance_connect_port(instance_, i, atoms_[i].data());
                if (in) atomIn_.push_back(i);
                else atomOut_.push_back(i);
            } else {
                buffers_[i].assign(size_t(kBlockFrames), 0.0f);
                lilv_instance_connect_port(instance_, i, buffers_[i].data());
            }
        }
        for (LilvNode* node : {audio, cv, control, atom, input, latency, reports, designation}) lilv_node_free(node);
        lilv_instance_activate(instance_);
    }
    ~Host() {
        if (instance_ != nullptr) {
            lilv_instance_deactivate(instance_);
            lilv_instance_free(instance_);
        }
    }
    bool ok() const { return instance_ != nullptr && !audioIn_.empty(); }
    bool hasAudioOut() const { return !audioOut_.empty(); }

    // Runs the signal through in 512-frame blocks; returns the output and the seconds taken, by
    // the wall clock and by the running thread's CPU clock.
    Stereo run(const Stereo& in, Seconds* seconds) {
        // Allocated and touched before the clocks start: the host's own work is not timed.
        Stereo out{std::vector<float>(in.frames()), std::vector<float>(in.frames())};
        const double cpuStart = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (size_t at = 0; at < in.frames(); at += kBlockFrames) {
            const size_t n = std::min(in.frames() - at, size_t(kBlockFrames));
            for (size_t c = 0; c < audioIn_.size(); ++c) {
                const std::vector<float>& src = c % 2 == 0 ? in.left : in.right;
                std::copy_n(src.begin() + ptrdiff_t(at), n, buffers_[audioIn_[c]].begin());
            }
            for (uint32_t i : atomIn_) {
                auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(atoms_[i].data());
                seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
                seq->atom.type = urids_.map(LV2_ATOM__Sequence);
                seq->body.unit = 0;
                seq->body.pad = 0;
            }
            for (uint32_t i : atomOut_) {
                auto* atom = reinterpret_cast<LV2_Atom*>(atoms_[i].data());
                atom->size = uint32_t(kAtomBytes - sizeof(LV2_Atom));
                atom->type = urids_.map(LV2_ATOM__Chunk);
            }
            lilv_instance_run(instance_, uint32_t(n));
            if (audioOut_.empty()) {
                std::copy_n(in.left.begin() + ptrdiff_t(at), n, out.left.begin() + ptrdiff_t(at));
                std::copy_n(in.right.begin() + ptrdiff_t(at), n, out.right.begin() + ptrdiff_t(at));
            } else {
                const uint32_t l = audioOut_[0], r = audioOut_[std::min<size_t>(1, audioOut_.size() - 1)];
                std::copy_n(buffers_[l].begin(), n, out.left.begin() + ptrdiff_t(at));
                std::copy_n(buffers_[r].begin(), n, out.right.begin() + ptrdiff_t(at));
            }
        }
        seconds->wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds->cpu = threadCpuSeconds() - cpuStart;
        return out;
    }
    std::optional<int> reportedLatency() const {
        if (latencyPort_ < 0) return std::nullopt;
        return int(std::lround(controls_[size_t(latencyPort_)]));
    }

  private:
    LilvWorld* world_;
    const LilvPlugin* plugin_;
    Urids& urids_;
    int32_t block_ = kBlockFrames;
    int32_t one_ = 1;
    float rate_ = float(kRateHz);
    std::vector<LV2_Options_Option> options_;
    LilvInstance* instance_ = nullptr;
    std::vector<float> controls_;
    std::vector<std::vector<float>> buffers_;
    std::vector<std::vector<uint64_t>> atoms_;
    std::vector<uint32_t> audioIn_, audioOut_, atomIn_, atomOut_;
    int32_t latencyPort_ = -1;
};

const LilvPlugin* findPlugin(LilvWorld* world, const Candidate& c) {
    LilvNode* uri = lilv_new_uri(world, c.uri.c_str());
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    return plugin;
}

// The output's figures and the first round's times.
std::optional<Result> measure(LilvWorld* world, Urids& urids, const Candidate& c, const Stereo& file,
                              double inputLoudness) {
    const LilvPlugin* plugin = findPlugin(world, c);
    if (plugin == nullptr) return std::nullopt;
    Result r;
    {
        Host host(world, plugin, urids, c.settings);
        if (!host.ok()) return std::nullopt;
        Seconds seconds;
        const Stereo out = host.run(file, &seconds);
        r.cpuMultiple = double(kSeconds) / seconds.cpu;
        r.wallMultiple = double(kSeconds) / seconds.wall;
        r.reportedLatency = host.reportedLatency();
        r.audioOut = host.hasAudioOut();
        r.samplePeak = samplePeakDb(out);
        r.overs = samplesAboveFullScale(out);
        r.truePeak = truePeakDb(out);
        r.loudnessChange = integratedLoudness(out) - inputLoudness;
    }
    {
        Host host(world, plugin, urids, c.settings);
        Stereo impulse{std::vector<float>(kImpulseSignalFrames), std::vector<float>(kImpulseSignalFrames)};
        impulse.left[kImpulseFrame] = impulse.right[kImpulseFrame] = kImpulseLevel;
        Seconds seconds;
        const Stereo out = host.run(impulse, &seconds);
        size_t loudest = 0;
        for (size_t i = 0; i < out.frames(); ++i)
            if (std::fabs(out.left[i]) > std::fabs(out.left[loudest])) loudest = i;
        r.measuredLatency = long(loudest) - long(kImpulseFrame);
    }
    return r;
}

// One more timed round on a fresh instance: the multiples improve when this round was faster.
void timeAgain(LilvWorld* world, Urids& urids, const Candidate& c, const Stereo& file, Result* r) {
    Host host(world, findPlugin(world, c), urids, c.settings);
    Seconds seconds;
    host.run(file, &seconds);
    r->cpuMultiple = std::max(r->cpuMultiple, double(kSeconds) / seconds.cpu);
    r->wallMultiple = std::max(r->wallMultiple, double(kSeconds) / seconds.wall);
}

} // namespace

int main(int argc, char** argv) {
    std::string bundle = ORQ_LV2_BUNDLE_PATH;
    std::string only;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg.starts_with("--")) {
            std::fprintf(stderr, "usage: lv2_side_by_side [BUNDLE] [--rounds N] [--only TEXT]\n");
            return 2;
        } else {
            bundle = arg;
        }
    }
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world); // LV2_PATH, or the system's folders with the Debian peers
    LilvNode* bundleUri = lilv_new_uri(world, ("file://" + bundle + "/").c_str());
    lilv_world_load_bundle(world, bundleUri);
    lilv_node_free(bundleUri);
    Urids urids;

    // Equal settings where the kinds allow: the limiters raise the level by 6 dB into a 0 dBFS
    // ceiling; every other plug-in runs with its defaults (both multiband compressors split into
    // three bands by default; ZaMultiCompX2's band compressors start switched off, so it also
    // runs with them on).
    const std::vector<Candidate> candidates = {
        {"maximizer", "Orq Pressane", "urn:tarvelle:lv2:pressane", {{"desgain", 6.0f}}},
        {"maximizer", "x42 dpl (Digital Peak Limiter)", "http://gareus.org/oss/lv2/dpl#stereo", {{"gain", 6.0f}, {"threshold", 0.0f}}},
        {"maximizer", "x42 dpl, true-peak mode", "http://gareus.org/oss/lv2/dpl#stereo", {{"gain", 6.0f}, {"threshold", 0.0f}, {"truepeak", 1.0f}}},
        {"maximizer", "ZaMaximX2", "urn:zamaudio:ZaMaximX2", {{"thresh", -6.0f}, {"ceil", 0.0f}}},
        {"maximizer", "LSP Limiter Stereo", "http://lsp-plug.in/plugins/lv2/limiter_stereo", {{"g_in", 2.0f}, {"th", 1.0f}}},
        {"maximizer", "Calf Limiter", "http://calf.sourceforge.net/plugins/Limiter", {{"level_in", 2.0f}, {"limit", 1.0f}}},
        {"compressor", "Orq Compressor", "urn:tarvelle:lv2:compressor", {}},
        {"compressor", "ZaMultiCompX2", "urn:zamaudio:ZaMultiCompX2", {}},
        {"compressor", "ZaMultiCompX2, three bands switched on", "urn:zamaudio:ZaMultiCompX2",
         {{"toggle1", 1.0f}, {"toggle2", 1.0f}, {"toggle3", 1.0f}}},
        {"compressor", "LSP Multiband Compressor Stereo", "http://lsp-plug.in/plugins/lv2/mb_compressor_stereo", {}},
        {"compressor", "Calf Multiband Compressor", "http://calf.sourceforge.net/plugins/MultibandCompressor", {}},
        {"enhancer", "Orq Brisquet", "urn:tarvelle:lv2:brisquet", {}},
        {"enhancer", "Calf Exciter", "http://calf.sourceforge.net/plugins/Exciter", {}},
        {"matching", "Orq Tessaline (nothing learned)", "urn:tarvelle:lv2:tessaline", {}},
        {"spectrum analyser", "Orq Ombrel", "urn:tarvelle:lv2:ombrel", {}},
        {"spectrum analyser", "LSP Spectrum Analyzer x2", "http://lsp-plug.in/plugins/lv2/spectrum_analyzer_x2", {}},
        {"spectrum analyser", "x42 30-band spectrum (stereo)", "http://gareus.org/oss/lv2/meters#spectr30stereo", {}},
        {"phase scope", "Orq Lunavis", "urn:tarvelle:lv2:lunavis", {}},
        {"phase scope", "x42 goniometer", "http://gareus.org/oss/lv2/meters#goniometer", {}},
        {"phase scope", "x42 correlation meter", "http://gareus.org/oss/lv2/meters#COR", {}},
        {"phase scope", "LSP Phase Detector", "http://lsp-plug.in/plugins/lv2/phase_detector", {}},
    };

    const Stereo file = testFile();
    const double inputLoudness = integratedLoudness(file);
    std::vector<std::optional<Result>> results;
    std::vector<const Candidate*> chosen;
    for (const Candidate& c : candidates)
        if (only.empty() || std::string(c.label).find(only) != std::string::npos) chosen.push_back(&c);
    for (const Candidate* c : chosen) results.push_back(measure(world, urids, *c, file, inputLoudness));
    for (int round = 1; round < rounds; ++round)
        for (size_t i = 0; i < chosen.size(); ++i)
            if (results[i]) timeAgain(world, urids, *chosen[i], file, &*results[i]);

    std::printf("60-second stereo file at 44100 Hz: sample peak %.2f dBFS, true peak %.2f dBTP, "
                "%.2f LUFS; 512-frame blocks; real-time multiples the best of %d rounds.\n",
                samplePeakDb(file), truePeakDb(file), inputLoudness, rounds);
    std::string kind;
    for (size_t i = 0; i < chosen.size(); ++i) {
        const Candidate& c = *chosen[i];
        if (kind != c.kind) {
            kind = c.kind;
            std::printf("\n%s\n\n| plug-in | real-time multiple, CPU | real-time multiple, wall | latency reported "
                        "| latency measured | sample peak (dBFS) | samples above full scale | true peak (dBTP) "
                        "| loudness change (LU) |\n"
                        "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n", kind.c_str());
        }
        const std::optional<Result>& r = results[i];
        if (!r) {
            std::printf("| %s | not installed or not loadable | | | | | | | |\n", c.label);
            continue;
        }
        const std::string reported = r->reportedLatency ? std::to_string(*r->reportedLatency) : "none";
        std::printf("| %s | %.0f | %.0f | %s | %ld | %.3f | %zu | %.2f | %+.2f |%s\n", c.label,
                    r->cpuMultiple, r->wallMultiple, reported.c_str(), r->measuredLatency, r->samplePeak,
                    r->overs, r->truePeak, r->loudnessChange,
                    r->audioOut ? "" : " (no audio output: input shown)");
    }
    lilv_world_free(world);
    return 0;
}
