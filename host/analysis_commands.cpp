// orq spectrogram and orq scope: the analysers run on a file, collected as their editors
// collect (every 55 ms of audio), with the audio passed through to an optional output.
#include "host/commands.h"
#include "host/session.h"
#include "scope/lunavis_plugin.h"
#include "scope/scope_collector.h"
#include "spectrogram/ombrel_plugin.h"
#include "spectrogram/spectrogram_collector.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>

namespace orq::host {

namespace {

struct AnalysisOptions {
    std::vector<std::string> positional;
    std::optional<std::string> output;
    bool lowBand = false;
    bool mono = false;
    int32_t view = 1; // mean
};

AnalysisOptions parseAnalysis(const std::vector<std::string>& args, bool spectrogram) {
    AnalysisOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--output")
            o.output = value();
        else if (spectrogram && a == "--low-band")
            o.lowBand = true;
        else if (spectrogram && a == "--channel") {
            const std::string c = value();
            if (c == "left")
                o.view = 0;
            else if (c == "mean")
                o.view = 1;
            else if (c == "right")
                o.view = 2;
            else
                throw UsageError("--channel takes left, mean or right, not '" + c + "'");
        } else if (!spectrogram && a == "--mono")
            o.mono = true;
        else if (a.starts_with("--"))
            throw UsageError("unknown option '" + a + "'");
        else
            o.positional.push_back(a);
    }
    return o;
}

std::unique_ptr<Session> analyserSession(const char* name) {
    return openSession(findPlugin(name), Road::Component);
}

} // namespace

int commandSpectrogram(const std::vector<std::string>& args) {
    AnalysisOptions o = parseAnalysis(args, true);
    if (o.positional.size() != 2) throw UsageError("spectrogram takes INPUT OUT.csv");
    const std::string& input = o.positional[0];
    const std::string& csv = o.positional[1];
    refuseSameFile(input, csv);
    if (o.output) refuseSameFile(input, *o.output);
    const AudioData audio = readAudio(input, nullptr);
    std::unique_ptr<Session> session = analyserSession("Orq Ombrel");
    session->writeValue(kOmbrelLowBand, o.lowBand ? 1.0f : 0.0f);
    session->writeValue(kOmbrelView, float(o.view));
    session->setChunkFrames(SpectrogramCollector::framesPerCollection(audio.sampleRate));

    std::vector<std::string> rows;
    std::optional<SpectrogramCollector> collector;
    int32_t bins = 0;
    auto collect = [&] {
        const SpectrogramCollection& c = collector->collect();
        bins = c.bins;
        for (int32_t r = 0; r < c.rows; ++r) {
            std::string line;
            char cell[32];
            std::snprintf(cell, sizeof cell, "%.6f", c.timeSeconds[size_t(r)]);
            line += cell;
            for (int32_t b = 0; b < c.bins; ++b) {
                std::snprintf(cell, sizeof cell, ",%.2f",
                              c.levelsDb[size_t(r) * size_t(c.bins) + size_t(b)]);
                line += cell;
            }
            rows.push_back(std::move(line));
        }
    };
    RunSummary summary;
    AudioData passed = session->run(audio, summary, [&](int64_t, int64_t) {
        // The collector is made once the plug-in runs at the file's format.
        if (!collector) collector.emplace(session->record(), session->store());
        collect();
    });
    if (collector) collect();
    // Header: the frequency of each bin.
    std::string header = "time_s";
    if (collector) {
        for (int32_t b = 0; b < bins; ++b) {
            char cell[32];
            std::snprintf(cell, sizeof cell, ",%.1fHz", b * collector->binHz());
            header += cell;
        }
    }
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.push_back('\n');
    for (const std::string& row : rows) {
        bytes.insert(bytes.end(), row.begin(), row.end());
        bytes.push_back('\n');
    }
    writeFileAtomically(csv, bytes);
    if (o.output) writeAudio(*o.output, passed);
    std::cout << rows.size() << " spectra of " << bins << " bins written to " << csv << "\n";
    return 0;
}

int commandScope(const std::vector<std::string>& args) {
    AnalysisOptions o = parseAnalysis(args, false);
    if (o.positional.size() != 1) throw UsageError("scope takes INPUT");
    const std::string& input = o.positional[0];
    if (o.output) refuseSameFile(input, *o.output);
    const AudioData audio = readAudio(input, nullptr);
    if (audio.channels != 2) throw std::runtime_error("the phase scope takes a stereo file");
    std::unique_ptr<Session> session = analyserSession("Orq Lunavis");
    session->writeValue(kLunavisMono, o.mono ? 1.0f : 0.0f);
    const int32_t perCollection = ScopeCollector::framesPerCollection(audio.sampleRate);
    session->setChunkFrames(perCollection);

    struct Second {
        double sum = 0;
        int count = 0;
        float minimum = 1, maximum = 0, mid = 0, side = 0;
    };
    std::vector<Second> seconds;
    std::optional<ScopeCollector> collector;
    int64_t fed = 0;
    auto collect = [&] {
        const ScopeCollection& c = collector->collect();
        const size_t second = size_t(fed / audio.sampleRate);
        if (seconds.size() <= second) seconds.resize(second + 1);
        Second& s = seconds[second];
        for (const ScopeRowSummary& row : c.rows) {
            s.sum += row.correlation;
            ++s.count;
            s.minimum = std::min(s.minimum, row.correlation);
            s.maximum = std::max(s.maximum, row.correlation);
            s.mid = std::max(s.mid, row.peakMid);
            s.side = std::max(s.side, row.peakSide);
        }
    };
    RunSummary summary;
    AudioData passed = session->run(audio, summary, [&](int64_t done, int64_t) {
        if (!collector) collector.emplace(session->record(), session->store());
        fed = done;
        collect();
    });
    if (o.output) writeAudio(*o.output, passed);
    std::printf("second  correlation mean   min    max   peak mid  peak side\n");
    for (size_t i = 0; i < seconds.size(); ++i) {
        const Second& s = seconds[i];
        if (s.count == 0) continue;
        std::printf("%6zu  %16.3f %6.3f %6.3f %10.3f %10.3f\n", i, s.sum / s.count, s.minimum,
                    s.maximum, s.mid, s.side);
    }
    return 0;
}

} // namespace orq::host
