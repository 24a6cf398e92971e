// orq spectrogram and orq scope: the analysers run on a file, collected as their editors
// collect (every 55 ms of audio), with the audio passed through to an optional output. The
// file is streamed, and so are the spectrogram's rows, so memory does not grow with its length.
#include "host/commands.h"
#include "host/output_files.h"
#include "host/scope_collector.h"
#include "host/spectrogram_collector.h"
#include "spectrogram/ombrel_parameters.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace orq::host {

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
        else if (a == "--png")
            o.png = value();
        else if (spectrogram && a == "--seconds") {
            const double seconds = parseNumber(value(), "--seconds");
            if (!(seconds > 0.0)) throw UsageError("--seconds takes a time above 0 seconds");
            o.seconds = seconds;
        } else if (!spectrogram && a == "--at") {
            const double seconds = parseNumber(value(), "--at");
            if (!(seconds > 0.0)) throw UsageError("--at takes a time above 0 seconds");
            o.atSeconds = seconds;
        }
        else if (spectrogram && a == "--low-band")
            o.lowBand = true;
        else if (spectrogram && a == "--channel") {
            const std::string c = value();
            if (c == "left")
                o.view = SpectrumView::Left;
            else if (c == "mean")
                o.view = SpectrumView::Mean;
            else if (c == "right")
                o.view = SpectrumView::Right;
            else
                throw UsageError("--channel takes left, mean or right, not '" + c + "'");
        } else if (!spectrogram && a == "--mono")
            o.mono = true;
        else if (a.starts_with("--"))
            throw UsageError("unknown option '" + a + "'");
        else
            o.positional.push_back(a);
    }
    if (o.seconds && !o.png) throw UsageError("--seconds needs --png OUT.png");
    if (o.atSeconds && !o.png) throw UsageError("--at needs --png OUT.png");
    return o;
}

namespace {

constexpr int kLevelDecimals = 2; // of the spectrogram's dB levels

std::unique_ptr<Session> analyserSession(const char* name) {
    return openSession(findPlugin(name), Road::Component);
}

// Writes one of the analyser's settings by its key name.
void writeSetting(Session& session, const char* key, float value) {
    session.writeValue(requireParameter(session.store(), key), value);
}

// The pass-through audio: to the output file when one was asked for, else dropped.
struct PassedAudio {
    DiscardSink discard;
    AudioSink* sink = &discard;
    PassedAudio(OutputFiles& files, const std::optional<std::string>& path,
                const StreamFormat& format) {
        if (path) sink = &files.audio(*path, format);
    }
};

} // namespace

namespace {

// The spectrogram's picture: its editor shows the whole file (or its last seconds).
std::vector<uint8_t> spectrogramPicture(const AnalysisOptions& o, const StreamFormat& format) {
    EditorPlayPicture picture;
    picture.plugin = "Orq Ombrel";
    picture.input = o.positional[0];
    picture.settings = {Setting{"bLog", -1, o.lowBand ? "1" : "0"},
                        Setting{"ch", -1, std::to_string(static_cast<int32_t>(o.view))}};
    const double seconds =
        o.seconds ? *o.seconds : double(format.frames) / std::max(1, format.sampleRate);
    picture.editorRequest = std::make_pair(spectrogram::kOmbrelEditorSpanRequest,
                                           intptr_t(std::ceil(seconds * 1000.0)));
    return editorPictureOfPlay(picture);
}

} // namespace

int commandSpectrogram(const std::vector<std::string>& args) {
    AnalysisOptions o = parseAnalysis(args, true);
    if (o.positional.empty() || o.positional.size() > 2 || (o.positional.size() == 1 && !o.png))
        throw UsageError("spectrogram takes INPUT and OUT.csv, --png OUT.png or both");
    const std::string& input = o.positional[0];
    OutputFiles files;
    files.addInput(input, "the input");
    if (o.png) files.add(*o.png, "the picture");
    if (o.positional.size() == 2) files.add(o.positional[1], "the CSV");
    if (o.output) files.add(*o.output, "the audio output", OutputKind::Audio);
    if (o.positional.size() == 1) {
        const StreamFormat format = AudioFileReader(input, nullptr).format();
        files.write(*o.png, spectrogramPicture(o, format));
        if (o.output) {
            // The audio passes through unchanged: the output is the input.
            AudioFileReader audio(input, nullptr);
            std::unique_ptr<Session> session = analyserSession("Orq Ombrel");
            RunSummary summary;
            session->run(audio, files.audio(*o.output, audio.format()), summary, {});
        }
        files.commit();
        std::cout << "spectrogram picture written to " << *o.png << "\n";
        return 0;
    }
    const std::string& csvPath = o.positional[1];
    AudioFileReader audio(input, nullptr);
    std::unique_ptr<Session> session = analyserSession("Orq Ombrel");
    // The mode is a setting the plug-in's open keeps; the view is not: opening at the file's
    // format sets the mean view again, so the view is written once more after that (below).
    const float view = float(static_cast<int32_t>(o.view));
    writeSetting(*session, "bLog", o.lowBand ? 1.0f : 0.0f);
    writeSetting(*session, "ch", view);
    session->setChunkFrames(SpectrogramCollector::framesPerCollection(audio.format().sampleRate));

    std::optional<SpectrogramCollector> collector;
    bool headerWritten = false;
    int64_t rows = 0;
    int32_t bins = 0;
    std::string line;
    auto writeHeader = [&] {
        // The frequency of each bin.
        line = "time_s";
        if (collector) {
            for (int32_t b = 0; b < collector->binsShown(); ++b) {
                char cell[32];
                std::snprintf(cell, sizeof cell, ",%.1fHz", b * collector->binHz());
                line += cell;
            }
        }
        line += '\n';
        files.write(csvPath, line);
        headerWritten = true;
    };
    auto collect = [&] {
        const SpectrogramCollection& c = collector->collect();
        bins = c.bins;
        for (int32_t r = 0; r < c.rows; ++r) {
            char cell[32];
            std::snprintf(cell, sizeof cell, "%.6f", c.timeSeconds[size_t(r)]);
            line = cell;
            // Levels with two decimals, as printf's "%.2f" writes them, at a fraction of its
            // cost: a long file has tens of millions of them.
            for (int32_t b = 0; b < c.bins; ++b) {
                cell[0] = ',';
                const auto written =
                    std::to_chars(cell + 1, cell + sizeof cell,
                                  c.levelsDb[size_t(r) * size_t(c.bins) + size_t(b)],
                                  std::chars_format::fixed, kLevelDecimals);
                line.append(cell, written.ptr);
            }
            line += '\n';
            files.write(csvPath, line);
        }
        rows += c.rows;
    };
    RunSummary summary;
    PassedAudio passed(files, o.output, audio.format());
    session->run(audio, *passed.sink, summary, [&](int64_t, int64_t) {
        // The collector is made once the plug-in runs at the file's format. A re-open put the
        // first piece through the mean view, which feeds both channels' analyzers, so the view
        // set here still sees it.
        if (!collector) {
            writeSetting(*session, "ch", view);
            collector.emplace(session->record(), session->store());
            bins = collector->binsShown();
            writeHeader();
        }
        collect();
    });
    if (collector) collect();
    if (!headerWritten) writeHeader();
    if (o.png) files.write(*o.png, spectrogramPicture(o, audio.format()));
    files.commit();
    std::cout << rows << " spectra of " << bins << " bins written to " << csvPath << "\n";
    if (o.png) std::cout << "spectrogram picture written to " << *o.png << "\n";
    return 0;
}

int commandScope(const std::vector<std::string>& args) {
    AnalysisOptions o = parseAnalysis(args, false);
    if (o.positional.size() != 1) throw UsageError("scope takes INPUT");
    const std::string& input = o.positional[0];
    OutputFiles files;
    files.addInput(input, "the input");
    if (o.output) files.add(*o.output, "the audio output", OutputKind::Audio);
    AudioFileReader audio(input, nullptr);
    const StreamFormat format = audio.format();
    if (format.channels != 2)
        throw std::runtime_error("the phase scope takes a stereo file; '" + input + "' has " +
                                 std::to_string(format.channels) +
                                 (format.channels == 1 ? " channel" : " channels"));
    if (o.png) {
        files.add(*o.png, "the picture");
        EditorPlayPicture picture;
        picture.plugin = "Orq Lunavis";
        picture.input = input;
        picture.settings = {Setting{"mono", -1, o.mono ? "1" : "0"}};
        picture.untilSeconds = o.atSeconds;
        files.write(*o.png, editorPictureOfPlay(picture));
    }
    std::unique_ptr<Session> session = analyserSession("Orq Lunavis");
    writeSetting(*session, "mono", o.mono ? 1.0f : 0.0f);
    session->setChunkFrames(ScopeCollector::framesPerCollection(format.sampleRate));

    struct Second {
        double sum = 0;
        int count = 0;
        float minimum = 1, maximum = -1, mid = 0, side = 0;
    };
    std::vector<Second> seconds;
    std::optional<ScopeCollector> collector;
    int64_t fed = 0;
    auto collect = [&] {
        const ScopeCollection& c = collector->collect();
        // The second the collection's last frame belongs to.
        const size_t second = size_t((fed - 1) / format.sampleRate);
        if (seconds.size() <= second) seconds.resize(second + 1);
        Second& s = seconds[second];
        for (const ScopeRowSummary& row : c.rows) {
            // The share of sample pairs of equal sign, as the scope's meter shows it: 1 for
            // identical channels, 0 for inverted ones, 0.5 for no relation.
            const float correlation = row.correlation;
            s.sum += correlation;
            ++s.count;
            s.minimum = std::min(s.minimum, correlation);
            s.maximum = std::max(s.maximum, correlation);
            s.mid = std::max(s.mid, row.peakMid);
            s.side = std::max(s.side, row.peakSide);
        }
    };
    RunSummary summary;
    PassedAudio passed(files, o.output, format);
    session->run(audio, *passed.sink, summary, [&](int64_t done, int64_t) {
        if (!collector) collector.emplace(session->record(), session->store());
        fed = done;
        collect();
    });
    files.commit();
    if (o.png) std::cout << "phase scope picture written to " << *o.png << "\n";
    std::printf(
        "second  correlation mean   min    max   peak mid  peak side   (correlation 0..1)\n");
    for (size_t i = 0; i < seconds.size(); ++i) {
        const Second& s = seconds[i];
        if (s.count == 0) continue;
        std::printf("%6zu  %16.3f %6.3f %6.3f %10.3f %10.3f\n", i, s.sum / s.count, s.minimum,
                    s.maximum, s.mid, s.side);
    }
    return 0;
}

} // namespace orq::host
