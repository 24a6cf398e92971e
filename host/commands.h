// orq's subcommands that run plug-ins on files: process, spectrum matching and the two
// analysers. Their option parsers are exposed for tests.
#pragma once

#include "host/session.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orq::host {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// orq process PLUGIN INPUT OUTPUT [--set KEY=VALUE]... [--state FILE] [--save-state FILE]
//             [--format s16|f32] [--road dx|vc|plax] [--program N]
// On the plax road PLUGIN is a Plax library (a path, or "Orq Pressane" / "Orq Compressor"),
// --program chooses a program of its bank before the settings, and --set takes the host's
// normalised values (0 … 1).
// The largest program number a command line takes; the bank itself refuses a number it lacks.
constexpr int32_t kProgramNumberMax = 1000;

struct ProcessOptions {
    std::string plugin, input, output;
    std::vector<Setting> settings;
    std::optional<std::string> state, saveState;
    std::optional<SampleFormat> format;
    std::optional<Road> road; // none: the component road when the plug-in is registered
    bool plaxRoad = false;    // --road plax: the Plax build of the plug-in
    std::optional<int32_t> program; // --program N: the plax road's program
};
// Throws UsageError (or the parse error of a --set value) for a malformed command line.
ProcessOptions parseProcess(const std::vector<std::string>& args);
// Runs one file through one plug-in; returns the summary that orq prints.
std::string processFile(const ProcessOptions& options, const Progress& progress);
int commandProcess(const std::vector<std::string>& args);
std::string processFileOnPlaxRoad(const ProcessOptions& options, const Progress& progress);
class PlaxLibrary;
// Sets the Plax effect's parameters by name from normalised values; throws for a name the
// effect does not have or a value outside 0 … 1.
void applyPlaxSettings(PlaxLibrary& plax, const std::vector<Setting>& settings);

// orq presets PLUGIN [--load-bank FILE] [--program N] [--save-bank FILE]: the programs of a Plax
// effect (the current one marked) and the current program's parameters, after loading a bank
// chunk, choosing a program, and before saving the bank chunk, each when asked.
struct PresetsOptions {
    std::string plugin;
    std::optional<int32_t> program;
    std::optional<std::string> loadBank, saveBank;
};
PresetsOptions parsePresets(const std::vector<std::string>& args);
std::string presetsText(const PresetsOptions& options);
int commandPresets(const std::vector<std::string>& args);

// The summary lines of one run of a plug-in over a stream.
std::string summaryText(const Session& session, const StreamFormat& format,
                        const RunSummary& summary);
std::string describeFormat(const StreamFormat& format);
// A state file's bytes (--state's, or another role's such as a settings dialog's), read before
// anything else is opened; throws "reading <role> '<path>': ..." when it cannot be read.
std::vector<uint8_t> readState(const std::string& path, const char* role = "the state");
// The persistent stream in a state file's bytes for the session's plug-in; throws naming the
// role and the file when it belongs to another plug-in or is damaged.
std::vector<uint8_t> stateStream(const std::vector<uint8_t>& file, const std::string& path,
                                 const PluginTarget& target, Session& session,
                                 const char* role = "the state");
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

// orq spectrogram INPUT [OUT.csv] [--png OUT.png [--seconds N]] [--low-band]
//                 [--channel left|mean|right] [--output AUDIO]
// orq scope INPUT [--png OUT.png [--at SECONDS]] [--mono] [--output AUDIO]
enum class SpectrumView { Left = 0, Mean = 1, Right = 2 };
struct AnalysisOptions {
    std::vector<std::string> positional;
    std::optional<std::string> output;
    std::optional<std::string> png;
    std::optional<double> seconds;   // spectrogram: the picture's span (the file's end)
    std::optional<double> atSeconds; // scope: where the picture is taken
    bool lowBand = false;
    bool mono = false;
    SpectrumView view = SpectrumView::Mean;
};
AnalysisOptions parseAnalysis(const std::vector<std::string>& args, bool spectrogram);
int commandSpectrogram(const std::vector<std::string>& args);
int commandScope(const std::vector<std::string>& args);

// orq editor PLUGIN [--set KEY=VALUE]... [--state FILE] [--save-state FILE]
//            [--play INPUT [--until SECONDS] [--output AUDIO] [--playing-png OUT.png]]
//            [--script FILE] [--road vc|page] --png OUT.png
// orq editor PLUGIN --live [--set ...] [--state FILE] [--save-state FILE] [--script FILE]
//            [--png OUT.png]: the editor on the X display ($DISPLAY) until its window is closed
//            (or the script ends), on the real clock, without playback.
enum class EditorRoad { HostExtension, PropertyPage, Plax };

// The analysers' pictures: a plug-in's editor opened on the vc road as `orq editor` opens it,
// given a request (message 2024 to its frame, when set), INPUT played through the plug-in
// (up to untilSeconds) with the settings applied, and pictured (the frame window, PNG bytes).
struct EditorPlayPicture {
    std::string plugin, input;
    std::vector<Setting> settings;
    std::optional<double> untilSeconds;
    std::optional<std::pair<uintptr_t, intptr_t>> editorRequest;
};
std::vector<uint8_t> editorPictureOfPlay(const EditorPlayPicture& picture);
struct EditorOptions {
    std::string plugin, png;
    // A picture of the editor after the last played block, before the plug-in stops.
    std::optional<std::string> playingPng;
    std::vector<Setting> settings;
    std::optional<std::string> state, saveState, play, output, script;
    // The settings dialog keeps the set's values in dialogSave and loads dialogLoad's.
    std::optional<std::string> dialogSave, dialogLoad;
    std::optional<double> untilSeconds;
    EditorRoad road = EditorRoad::HostExtension;
    bool live = false;
};
EditorOptions parseEditor(const std::vector<std::string>& args);
class EngineWindow;
// The engine window counts what the libraries tell the host while the editor is open.
int commandEditor(const std::vector<std::string>& args, EngineWindow& engine);
// orq editor --road plax: the editor of a Plax effect inside a window of orq's (PLUGIN as on the
// plax road of orq process); --set takes normalised values.
int commandPlaxEditor(const EditorOptions& options);

// orq gallery --png OUT.png: every kind of control in each of its states on one sheet, drawn
// from orq's own bitmaps (resources 20000 ... 20060), each with a caption.
struct GalleryOptions {
    std::string png;
};
GalleryOptions parseGallery(const std::vector<std::string>& args);
int commandGallery(const std::vector<std::string>& args);

// A picture of a top-level window (its whole surface) as PNG bytes; throws when it cannot be
// made. [ui-thread of the window]
std::vector<uint8_t> windowPng(HWND window);

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
