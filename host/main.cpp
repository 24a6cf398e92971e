// orq: runs the suite's plug-ins on audio files the way a host does.
#include "host/audio_file.h"
#include "host/commands.h"
#include "host/demo_mix.h"
#include "host/demo_tessaline_brisquet.h"
#include "host/engine_window.h"
#include "host/install_lv2.h"
#include "host/plugin_library.h"
#include "host/session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;

namespace {

const char* const kUsage =
    "usage:\n"
    "  orq process PLUGIN INPUT OUTPUT [--set KEY=VALUE]... [--state FILE] [--save-state FILE]\n"
    "              [--format s16|f32] [--road dx|vc|plax] [--program N]\n"
    "  orq presets PLUGIN [--load-bank FILE] [--program N] [--save-bank FILE]\n"
    "  orq match --reference REF INPUT OUTPUT [--amount PERCENT] [--third-octave] [--save-state "
    "FILE]\n"
    "  orq spectrogram INPUT [OUT.csv] [--png OUT.png [--seconds N]] [--low-band]\n"
    "                  [--channel left|mean|right] [--output AUDIO]\n"
    "  orq scope INPUT [--png OUT.png [--at SECONDS]] [--mono] [--output AUDIO]\n"
    "  orq editor PLUGIN [--set KEY=VALUE]... [--state FILE] [--save-state FILE]\n"
    "             [--play INPUT [--until SECONDS] [--output AUDIO] [--playing-png OUT.png]]\n"
    "             [--script FILE] [--dialog-save FILE] [--dialog-load FILE] [--road vc|page]\n"
    "             --png OUT.png\n"
    "  orq editor PLUGIN --live [--set KEY=VALUE]... [--state FILE] [--save-state FILE]\n"
    "             [--script FILE] [--png OUT.png]    (on the X display, until closed)\n"
    "  orq editor PLUGIN --road plax [--set KEY=VALUE]... [--script FILE] --png OUT.png\n"
    "  orq gallery --png OUT.png\n"
    "  orq play PLUGIN INPUT [--set KEY=VALUE]... [--state FILE] [--save-state FILE] [--editor]\n"
    "           [--loop] [--seconds N] [--port-prefix NAME]\n"
    "  orq demo [OUTDIR]\n"
    "  orq register LIB...\n"
    "  orq unregister LIB...\n"
    "  orq list\n"
    "  orq install-lv2 [DIR]     (the LV2 bundle into DIR, by default ~/.lv2)\n"
    "PLUGIN is a display name (\"Orq Compressor\") or a library path. On the Plax road (process\n"
    "and editor --road plax, presets) it is \"Orq Pressane\", \"Orq Compressor\" or a Plax library path, and\n"
    "--set takes normalised values (0 ... 1).\n"
    "play uses the JACK server $JACK_DEFAULT_SERVER (or the default one) when it runs, else the\n"
    "ALSA device $ORQ_ALSA_DEVICE (or \"default\"); --port-prefix connects to the JACK input ports\n"
    "whose names begin with NAME instead of the physical playback ports.\n";

int commandRegister(const std::vector<std::string>& libs, bool unregister) {
    if (libs.empty())
        throw UsageError(std::string(unregister ? "unregister" : "register") + " takes LIB...");
    // A registry that cannot be read fails every registration the same way: said once.
    if (std::optional<std::string> problem = registryProblem()) {
        std::fprintf(stderr, "orq: %s\n", problem->c_str());
        return 1;
    }
    int failures = 0;
    // A library that cannot be loaded or (un)registered is reported; the others still are.
    for (const std::string& path : libs) {
        PluginLibrary lib;
        DllRegisterServerFn call = nullptr;
        try {
            lib = loadLibrary(path);
            call = unregister ? lib.unregisterServer : lib.registerServer;
            if (call == nullptr)
                throw std::runtime_error("'" + path + "' is not a component server");
        } catch (const std::runtime_error& error) {
            std::fprintf(stderr, "orq: %s '%s' failed: %s\n",
                         unregister ? "unregistering" : "registering", path.c_str(), error.what());
            ++failures;
            continue;
        }
        const HRESULT hr = call();
        if (FAILED(hr)) {
            char text[1024] = {};
            PlatformRegistryError(text, sizeof text);
            std::fprintf(stderr, "orq: %s '%s' failed (0x%08X)%s%s\n",
                         unregister ? "unregistering" : "registering", path.c_str(), uint32_t(hr),
                         text[0] ? ": " : "", text);
            ++failures;
        } else {
            std::cout << (unregister ? "unregistered " : "registered ") << lib.name << " ("
                      << lib.path << ")\n";
        }
    }
    return failures == 0 ? 0 : 1;
}

int commandList() {
    const std::vector<RegisteredFilter> filters = registeredFilters();
    std::cout << "registered filters:\n";
    for (const RegisteredFilter& f : filters) {
        char id[40];
        PlatformStringFromGUID(f.classId, id, sizeof id);
        std::cout << "  " << f.name << "  " << id << "  " << f.libraryPath;
        if (f.merit) {
            char merit[16];
            std::snprintf(merit, sizeof merit, "0x%X", *f.merit);
            std::cout << "  merit " << merit;
        }
        std::cout << "\n";
    }
    std::cout << "libraries in " << pluginFolder() << ":\n";
    for (const std::string& file : libraryFilesInFolder()) {
        PluginLibrary lib = loadLibrary(file);
        for (int32_t i = 0; i < lib.getNumberOfPlugIns(); ++i) {
            char name[64] = {};
            int32_t kind = 0;
            if (lib.getPlugInName(i, name, sizeof name - 1, &kind) != 1) continue;
            std::cout << "  " << fs::path(file).filename().string() << ": " << name << " (kind "
                      << kind << ", " << (kind == 6 ? "analyser" : "processor") << ")\n";
        }
    }
    return 0;
}

// What the demo runs through each plug-in, by display name.
constexpr double kDemoEditorSeconds = 4.0;
struct DemoStep {
    const char* plugin;
    const char* output;
    std::vector<const char*> settings;
};

const std::vector<DemoStep>& demoSteps() {
    static const std::vector<DemoStep> steps = {
        // A low threshold with about 4:1 above it on the lower three bands, made up by the output.
        {"Orq Compressor",
         "compressor.wav",
         {"Shape[0]=0,0;0.05,0.05;1,0.2", "Shape[1]=0,0;0.05,0.05;1,0.2",
          "Shape[2]=0,0;0.05,0.05;1,0.2", "Output=6", "SoftClip=1"}},
        {"Orq Pressane", "pressane.wav", {"DesGain=6", "Comp=0.3"}},
        {"Orq Tessaline", "tessaline.wav", {}},
        {"Orq Brisquet", "brisquet.wav", {"mix=0.8", "gain=0.8", "den=4"}},
        {"Orq Ombrel", "ombrel.wav", {}},
        {"Orq Lunavis", "lunavis.wav", {}},
    };
    return steps;
}

// The maximizer's editor with the demo's settings while the mix plays through it, pictured
// after the last block (its meters moving) as pressane-editor.png.
void snapshotPressaneEditor(const fs::path& dir, const std::string& mixPath,
                            EngineWindow& engine) {
    const std::string picture = (dir / "pressane-editor.png").string();
    std::cout << "\nthe maximizer's editor playing the mix:\n";
    commandEditor({"Orq Pressane", "--set", "DesGain=6", "--set", "Comp=0.3", "--play", mixPath,
                   "--playing-png", picture},
                  engine);
    std::cout << "picture: " << picture << "\n";
}

// The analysers' pictures of the mix, beside its audio: the spectrogram of the whole mix and
// the phase scope with its correlation meter at its end.
void writeAnalyserPictures(const fs::path& dir, const std::string& mixPath,
                           const std::function<bool(const char*)>& available) {
    if (available("Orq Ombrel")) {
        std::cout << "\nspectrogram picture of the mix:\n";
        commandSpectrogram({mixPath, "--png", (dir / "spectrogram.png").string()});
    }
    if (available("Orq Lunavis")) {
        EditorPlayPicture picture;
        picture.plugin = "Orq Lunavis";
        picture.input = mixPath;
        const fs::path png = dir / "scope.png";
        const std::vector<uint8_t> bytes = editorPictureOfPlay(picture);
        std::ofstream out(png, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) throw std::runtime_error("cannot write '" + png.string() + "'");
        std::cout << "\nphase scope picture of the mix written to " << png.string() << "\n";
    }
}

// A picture of a plug-in's editor after the demo mix has played through it (the first seconds,
// with the demo's settings), beside the demo's audio. Its meters show where the mix left them.
void demoEditorPicture(EngineWindow& engine, const fs::path& dir, const std::string& mixPath,
                       const char* plugin, const char* picture, double seconds) {
    const auto& steps = demoSteps();
    const auto found = std::find_if(steps.begin(), steps.end(), [&](const DemoStep& s) {
        return std::strcmp(s.plugin, plugin) == 0;
    });
    if (found == steps.end()) throw std::logic_error(std::string("no demo step for ") + plugin);
    const DemoStep& step = *found;
    std::vector<std::string> args{step.plugin};
    for (const char* s : step.settings) {
        args.push_back("--set");
        args.push_back(s);
    }
    const std::string png = (dir / picture).string();
    for (const std::string& a :
         {std::string("--play"), mixPath, std::string("--until"), std::to_string(seconds),
          std::string("--png"), png})
        args.push_back(a);
    std::cout << "\neditor of " << step.plugin << " after the mix:\n";
    commandEditor(args, engine);
    std::cout << "picture: " << png << "\n";
}

int commandDemo(const std::vector<std::string>& args, EngineWindow& engine) {
    if (args.size() > 1) throw UsageError("demo takes at most OUTDIR");
    const fs::path dir = args.empty() ? fs::path("orq-demo") : fs::path(args[0]);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw std::runtime_error("cannot create '" + dir.string() + "': " + ec.message());
    const AudioData mix = makeDemoMix();
    writeAudio((dir / "mix.wav").string(), mix);
    std::ostringstream report;
    report << "test mix: " << (dir / "mix.wav").string() << " ("
           << describeFormat(mix.streamFormat()) << ", " << mix.frames << " frames)\n";
    int ran = 0;
    for (const DemoStep& step : demoSteps()) {
        std::optional<PluginTarget> target;
        try {
            target = findPlugin(step.plugin);
        } catch (const std::exception&) {
            continue; // not built yet
        }
        std::unique_ptr<Session> session =
            openSession(*target, target->filterClassId ? Road::Component : Road::HostExtension);
        std::vector<Setting> settings;
        for (const char* s : step.settings)
            settings.push_back(parseSetting(s));
        session->apply(settings);
        RunSummary summary;
        const fs::path file = dir / step.output;
        MemorySource source(mix);
        AudioFileWriter output(file.string(), source.format());
        session->run(source, output, summary, {});
        output.commit();
        report << "\n"
               << summaryText(*session, source.format(), summary) << "output: " << file.string()
               << "\n";
        ++ran;
    }
    std::ofstream((dir / "summary.txt").string()) << report.str();
    std::cout << report.str();

    // The matching filter takes a differently coloured version back to the mix's spectrum, and
    // the analysers report what they measure.
    auto available = [](const char* name) {
        try {
            findPlugin(name);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };
    const std::string mixPath = (dir / "mix.wav").string();
    if (available("Orq Pressane")) snapshotPressaneEditor(dir, mixPath, engine);
    if (available("Orq Tessaline")) {
        const std::string bright = (dir / "mix-bright.wav").string();
        writeAudio(bright, makeBrightDemoMix());
        std::cout << "\nmatching " << bright << " toward the mix:\n";
        commandMatch(
            {"--reference", mixPath, bright, (dir / "matched.wav").string(), "--third-octave"});
        ++ran;
    }
    if (available("Orq Compressor"))
        demoEditorPicture(engine, dir, mixPath, "Orq Compressor", "compressor-editor.png",
                          kDemoEditorSeconds);
    if (available("Orq Ombrel")) {
        std::cout << "\nspectrogram of the mix:\n";
        commandSpectrogram({mixPath, (dir / "spectrogram.csv").string()});
    }
    if (available("Orq Lunavis")) {
        std::cout << "\nphase scope of the mix:\n";
        commandScope({mixPath});
    }
    writeAnalyserPictures(dir, mixPath, available);
    snapshotTessalineAndBrisquetEditors(dir, engine);
    std::cout << "\n" << ran << " plug-in runs; outputs in " << dir.string() << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        EngineWindow engine; // the libraries tell it when their last object is gone
        if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
            std::cout << kUsage;
            return args.empty() ? 2 : 0;
        }
        const std::string command = args[0];
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (command == "process") return commandProcess(rest);
        if (command == "presets") return commandPresets(rest);
        if (command == "editor") return commandEditor(rest, engine);
        if (command == "gallery") return commandGallery(rest);
        if (command == "play") return commandPlay(rest, engine);
        if (command == "demo") return commandDemo(rest, engine);
        if (command == "match") return commandMatch(rest);
        if (command == "spectrogram") return commandSpectrogram(rest);
        if (command == "scope") return commandScope(rest);
        if (command == "register") return commandRegister(rest, false);
        if (command == "unregister") return commandRegister(rest, true);
        if (command == "list") return commandList();
        if (command == "install-lv2") return commandInstallLv2(rest);
        throw UsageError("unknown command '" + command + "'");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "orq: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orq: %s\n", e.what());
        return 1;
    }
}
