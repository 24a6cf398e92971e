// orq process: one file through one plug-in, streamed piece by piece.
#include "host/commands.h"
#include "host/output_files.h"
#include "host/state_file.h"
#include "host/stream_counts.h"

#include <cmath>
#include <cstdlib>
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

[[noreturn]] void refuseStateFile(const std::string& path, const StateFileError& e,
                                  const char* role) {
    throw std::runtime_error("reading " + std::string(role) + " '" + path + "': " + e.what());
}

} // namespace

std::vector<uint8_t> readState(const std::string& path, const char* role) {
    try {
        return readStateFile(path);
    } catch (const StateFileError& e) {
        refuseStateFile(path, e, role);
    }
}

std::vector<uint8_t> stateStream(const std::vector<uint8_t>& file, const std::string& path,
                                 const PluginTarget& target, Session& session, const char* role) {
    ParameterInterface* set = session.store();
    try {
        return decodeStateFile(file, stateOriginOf(target),
                               streamLayoutOf(set, set->owner->count()));
    } catch (const StateFileError& e) {
        refuseStateFile(path, e, role);
    }
}

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
    return out.str() + meterLines(s);
}

std::string meterLines(const RunSummary& s) {
    std::ostringstream out;
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
            else if (r == "plax")
                o.plaxRoad = true;
            else
                throw UsageError("--road takes dx, vc or plax, not '" + r + "'");
        } else if (a == "--program") {
            const std::string v = value();
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 0 || n > kProgramNumberMax)
                throw UsageError("--program takes a program number, not '" + v + "'");
            o.program = int32_t(n);
        } else if (a.starts_with("--"))
            throw UsageError("unknown option '" + a + "'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 3) throw UsageError("process takes PLUGIN INPUT OUTPUT");
    if (o.program && !o.plaxRoad) throw UsageError("--program belongs to the Plax road (--road plax)");
    o.plugin = positional[0];
    o.input = positional[1];
    o.output = positional[2];
    return o;
}

std::string processFile(const ProcessOptions& o, const Progress& progress) {
    if (o.plaxRoad) return processFileOnPlaxRoad(o, progress);
    OutputFiles files;
    files.addInput(o.input, "the input");
    if (o.state) files.addInput(*o.state, "the state");
    files.add(o.output, "the output", OutputKind::Audio);
    if (o.saveState) files.add(*o.saveState, "the saved state");
    std::vector<uint8_t> state;
    if (o.state) state = readState(*o.state);
    AudioFileReader input(o.input, o.format ? &*o.format : nullptr);
    PluginTarget target = findPlugin(o.plugin);
    const Road road = o.road.value_or(target.filterClassId ? Road::Component : Road::HostExtension);
    std::unique_ptr<Session> session = openSession(target, road);
    if (o.state) {
        state = stateStream(state, *o.state, target, *session);
        session->loadState(state);
    }
    session->apply(o.settings);
    RunSummary summary;
    NonFiniteCountingSource counted(input);
    FullScaleCountingSink written(files.audio(o.output, input.format()), input.format());
    session->run(counted, written, summary, progress);
    if (o.saveState)
        files.write(*o.saveState, encodeStateFile(stateOriginOf(target), session->saveState()));
    files.commit();
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
