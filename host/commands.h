// orq's subcommands that run plug-ins on files: process, spectrum matching and the two
// analysers. Their option parsers are exposed for tests.
#pragma once

#include "host/session.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orq::host {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// orq process PLUGIN INPUT OUTPUT [--set KEY=VALUE]... [--state FILE] [--save-state FILE]
//             [--format s16|f32] [--road dx|vc]
struct ProcessOptions {
    std::string plugin, input, output;
    std::vector<Setting> settings;
    std::optional<std::string> state, saveState;
    std::optional<SampleFormat> format;
    std::optional<Road> road; // none: the component road when the plug-in is registered
};
// Throws UsageError (or the parse error of a --set value) for a malformed command line.
ProcessOptions parseProcess(const std::vector<std::string>& args);
// Runs one file through one plug-in; returns the summary that orq prints.
std::string processFile(const ProcessOptions& options, const Progress& progress);
int commandProcess(const std::vector<std::string>& args);

// The summary lines of one run of a plug-in over a stream.
std::string summaryText(const Session& session, const StreamFormat& format,
                        const RunSummary& summary);
std::string describeFormat(const StreamFormat& format);
// A --state file's bytes, read before anything else is opened; throws naming the file.
std::vector<uint8_t> readState(const std::string& path);
// The persistent stream in a --state file's bytes for the session's plug-in; throws naming the
// file when it belongs to another plug-in or is damaged.
std::vector<uint8_t> stateStream(const std::vector<uint8_t>& file, const std::string& path,
                                 const PluginTarget& target, Session& session);
// One line per channel: input and output peak in dBFS and clip counts.
std::string meterLines(const RunSummary& summary);

// orq match --reference REF INPUT OUTPUT [--amount PERCENT] [--third-octave] [--save-state F]
struct MatchOptions {
    std::string reference, input, output;
    double amountPercent = 100.0;
    bool thirdOctave = false;
    std::optional<std::string> saveState;
};
MatchOptions parseMatch(const std::vector<std::string>& args);
int commandMatch(const std::vector<std::string>& args);
// After a run of the matching filter with a saved state: one line saying what became of the
// state's learned spectra when they were measured at another rate than the stream's (moved by
// frequency onto its bins, or not applied); empty otherwise or for another plug-in.
std::string learnedSpectraNote(Session& session, const std::vector<uint8_t>& state,
                               int32_t sampleRateHz);

// orq spectrogram INPUT OUT.csv [--low-band] [--channel left|mean|right] [--output AUDIO]
// orq scope INPUT [--mono] [--output AUDIO]
enum class SpectrumView { Left = 0, Mean = 1, Right = 2 };
struct AnalysisOptions {
    std::vector<std::string> positional;
    std::optional<std::string> output;
    bool lowBand = false;
    bool mono = false;
    SpectrumView view = SpectrumView::Mean;
};
AnalysisOptions parseAnalysis(const std::vector<std::string>& args, bool spectrogram);
int commandSpectrogram(const std::vector<std::string>& args);
int commandScope(const std::vector<std::string>& args);

// orq editor PLUGIN [--set KEY=VALUE]... [--state FILE] [--save-state FILE]
//            [--play INPUT [--until SECONDS] [--output AUDIO]] [--script FILE] [--road vc|page]
//            --png OUT.png
enum class EditorRoad { HostExtension, PropertyPage };
struct EditorOptions {
    std::string plugin, png;
    std::vector<Setting> settings;
    std::optional<std::string> state, saveState, play, output, script;
    // The settings dialog keeps the set's values in dialogSave and loads dialogLoad's.
    std::optional<std::string> dialogSave, dialogLoad;
    std::optional<double> untilSeconds;
    EditorRoad road = EditorRoad::HostExtension;
};
EditorOptions parseEditor(const std::vector<std::string>& args);
class EngineWindow;
// The engine window counts what the libraries tell the host while the editor is open.
int commandEditor(const std::vector<std::string>& args, EngineWindow& engine);

// orq play PLUGIN INPUT [--set KEY=VALUE]... [--state FILE] [--save-state FILE] [--editor]
//          [--loop] [--seconds N] [--port-prefix NAME]
struct PlayOptions {
    std::string plugin, input;
    std::vector<Setting> settings;
    std::optional<std::string> state, saveState, portPrefix;
    std::optional<double> seconds;
    bool editor = false;
    bool loop = false;
};
PlayOptions parsePlay(const std::vector<std::string>& args);
// Plays the input through the plug-in to the system's audio output in real time, until the
// input (with the plug-in's latency) has been played, --seconds have passed, the editor is
// closed, or SIGINT or SIGTERM arrives.
int commandPlay(const std::vector<std::string>& args, EngineWindow& engine);

} // namespace orq::host
