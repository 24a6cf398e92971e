// orq process in-process through the host library: the fixed cost of one run (a 0.1 s file)
// and the throughput of a 60 s stereo float file through the pass-through test plug-in, on
// the component road (vc:0) and the host extension road (vc:1), reading and writing real
// files. x_realtime: seconds of audio per second of CPU time.
#include "host/audio_file.h"
#include "host/commands.h"
#include "host/engine_window.h"
#include "host/plugin_library.h"

#include "bench/realtime.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;

namespace {

constexpr int32_t kRateHz = 44100;

struct Fixture {
    fs::path dir;
    Fixture() {
        dir = fs::temp_directory_path() / ("orq-host-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        setenv("ORQ_REGISTRY", (dir / "registry").c_str(), 1);
        PluginLibrary lib = loadLibrary(ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so");
        lib.registerServer();
    }
    ~Fixture() { fs::remove_all(dir); }
    std::string input(double seconds) {
        const std::string path = (dir / ("in-" + std::to_string(seconds) + ".wav")).string();
        if (fs::exists(path)) return path;
        AudioData a;
        a.channels = 2;
        a.sampleRate = kRateHz;
        a.format = SampleFormat::Float32;
        a.frames = int64_t(seconds * kRateHz);
        a.float32.resize(size_t(a.frames) * 2);
        for (size_t i = 0; i < a.float32.size(); ++i)
            a.float32[i] = float(0.5 * std::sin(double(i / 2) * 0.0627));
        writeAudio(path, a);
        return path;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// What `orq process "Orq Passthrough" IN OUT [--road vc]` runs.
void runProcess(benchmark::State& state, double seconds) {
    EngineWindow engine;
    ProcessOptions options;
    options.plugin = "Orq Passthrough";
    options.input = fixture().input(seconds);
    options.output = (fixture().dir / "out.wav").string();
    options.road = state.range(0) != 0 ? Road::HostExtension : Road::Component;
    for (auto _ : state)
        benchmark::DoNotOptimize(processFile(options, {}));
    bench::reportRealtime(state, int64_t(state.iterations()) * int64_t(seconds * kRateHz), kRateHz);
}

void processFixedCost(benchmark::State& state) {
    runProcess(state, 0.1);
}
BENCHMARK(processFixedCost)->Arg(0)->Arg(1)->ArgName("vc")->Unit(benchmark::kMicrosecond);

void processSixtySeconds(benchmark::State& state) {
    runProcess(state, 60.0);
}
BENCHMARK(processSixtySeconds)->Arg(0)->Arg(1)->ArgName("vc")->Unit(benchmark::kMillisecond);

} // namespace
