// orq process: one file through one plug-in, streamed piece by piece.
#include "host/commands.h"
#include "host/stream_counts.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace orq::host {

namespace {

std::string dbfs(float peak) {
    if (peak <= 0.0f) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", 20.0 * std::log10(double(peak)));
    return text;
}

void progressBar(int64_t done, int64_t total) {
    const int width = 40;
    const int filled = total > 0 ? int(width * done / total) : width;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 width - filled, "", total > 0 ? int(100 * done / total) : 100);
    if (done >= total) std::fprintf(stderr, "\n");
}

// A state's scalars are read by the plug-in as they stand: not a number or an infinity there
// would run the engine on it (the parameter set does not clamp what it loads). The stream is
// walked as the set writes it: a version, then each persisted parameter in index order, a
// scalar as one float, an array as its count and element size, then its bytes. A stream that
// ends early is left to the plug-in's own load, which refuses it.
void refuseNonFiniteScalars(Session& session, const std::vector<uint8_t>& state,
                            const std::string& path) {
    ParameterInterface* set = session.store();
    const int32_t count = set->owner->count();
    size_t at = sizeof(uint32_t);
    auto take32 = [&](void* out) {
        if (at + 4 > state.size()) return false;
        std::memcpy(out, state.data() + at, 4);
        at += 4;
        return true;
    };
    for (int32_t i = 0; i < count; ++i) {
        if (set->isPersisted(set, i) == 0) continue;
        int32_t n = 0, elementSize = 0;
        if (set->arrayInfo(set, i, &n, &elementSize) == 0) {
            uint32_t storedCount = 0, storedSize = 0;
            if (!take32(&storedCount) || !take32(&storedSize)) return;
            at += size_t(storedCount) * size_t(storedSize);
            continue;
        }
        float value = 0.0f;
        if (!take32(&value)) return;
        if (!std::isfinite(value)) {
            const char* key = set->keyName(set, i);
            throw std::runtime_error("the state '" + path + "' holds " +
                                     (std::isnan(value) ? "not a number" : "an infinity") +
                                     " in '" + (key != nullptr ? key : "?") + "'");
        }
    }
}

} // namespace

std::string describeFormat(const StreamFormat& a) {
    return std::string(a.format == SampleFormat::Int16 ? "s16" : "f32") + ", " +
           std::to_string(a.sampleRate) + " Hz, " + std::to_string(a.channels) +
           (a.channels == 1 ? " channel" : " channels");
}

std::string summaryText(const Session& session, const StreamFormat& format, const RunSummary& s) {
    std::ostringstream out;
    out << "plug-in: " << session.name() << " ("
        << (session.road() == Road::Component ? "component" : "vc") << " road)\n";
    out << "format: " << describeFormat(format) << ", " << format.frames << " frames\n";
    out << "latency: " << s.latencyFrames << " frames";
    if (s.latencyFrames > 0)
        out << (s.tailFromPlugin ? " (tail from the plug-in)" : " (tail from fed silence)");
    out << "\n";
    for (size_t c = 0; c < s.input.size(); ++c)
        out << "channel " << c << ": in peak " << dbfs(s.input[c].peak) << " dBFS, "
            << s.input[c].clips << " clips; out peak " << dbfs(s.output[c].peak) << " dBFS, "
            << s.output[c].clips << " clips\n";
    return out.str();
}

ProcessOptions parseProcess(const std::vector<std::string>& args) {
    ProcessOptions o;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--set")
            o.settings.push_back(parseSetting(value()));
        else if (a == "--state")
            o.state = value();
        else if (a == "--save-state")
            o.saveState = value();
        else if (a == "--format") {
            const std::string f = value();
            if (f == "s16")
                o.format = SampleFormat::Int16;
            else if (f == "f32")
                o.format = SampleFormat::Float32;
            else
                throw UsageError("--format takes s16 or f32, not '" + f + "'");
        } else if (a == "--road") {
            const std::string r = value();
            if (r == "dx")
                o.road = Road::Component;
            else if (r == "vc")
                o.road = Road::HostExtension;
            else
                throw UsageError("--road takes dx or vc, not '" + r + "'");
        } else if (a.starts_with("--"))
            throw UsageError("unknown option '" + a + "'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 3) throw UsageError("process takes PLUGIN INPUT OUTPUT");
    o.plugin = positional[0];
    o.input = positional[1];
    o.output = positional[2];
    return o;
}

std::string processFile(const ProcessOptions& o, const Progress& progress) {
    refuseSameFile(o.input, o.output);
    if (o.saveState) refuseSameFile(o.input, *o.saveState);
    std::vector<uint8_t> state;
    if (o.state) state = readFileBytes(*o.state);
    AudioFileReader input(o.input, o.format ? &*o.format : nullptr);
    PluginTarget target = findPlugin(o.plugin);
    const Road road = o.road.value_or(target.filterClassId ? Road::Component : Road::HostExtension);
    std::unique_ptr<Session> session = openSession(target, road);
    if (o.state) {
        refuseNonFiniteScalars(*session, state, *o.state);
        session->loadState(state);
    }
    session->apply(o.settings);
    RunSummary summary;
    AudioFileWriter output(o.output, input.format());
    NonFiniteCountingSource counted(input);
    FullScaleCountingSink written(output, input.format());
    session->run(counted, written, summary, progress);
    output.commit();
    if (o.saveState) writeFileAtomically(*o.saveState, session->saveState());
    const std::string note =
        o.state ? learnedSpectraNote(*session, state, input.format().sampleRate) : std::string();
    return summaryText(*session, input.format(), summary) +
           nonFiniteLine(counted.nonFinite(), "input") +
           fullScaleLine(written.atFullScale(), "lower the input level or the plug-in's gain") +
           note;
}

int commandProcess(const std::vector<std::string>& args) {
    const ProcessOptions o = parseProcess(args);
    std::cout << processFile(o, isatty(STDERR_FILENO) ? Progress(progressBar) : Progress());
    return 0;
}

} // namespace orq::host
