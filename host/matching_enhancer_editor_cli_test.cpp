// The matching filter's and the enhancer's editors as a user meets them through orq editor: on
// every road a host takes (the Vc creator, the plug-in's command 0x40, the property page), and
// driven by scripts through the rules their controls follow.
#include "host/audio_file.h"
#include "host/cli_test_support.h"
#include "runtime/host_extension.h"
#include "runtime/plugin_boundary.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <dlfcn.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

using namespace orq;
using namespace orq::host;

namespace {

using orq::host::testing::Result;

const std::string kTessaline = ORQ_PLUGIN_DIR "/tessaline_dx.so";
const std::string kBrisquet = ORQ_PLUGIN_DIR "/brisquet_dx.so";

// Client coordinates of the Tessaline editor's buttons (the middle of each).
constexpr const char* kLearnClick = "click 45 337\n";
constexpr const char* kTargetClick = "click 90 337\n";
constexpr const char* kMatchClick = "click 135 337\n";
constexpr const char* kBandModeClick = "click 270 337\n";
constexpr const char* kResetClick = "click 360 337\n";
constexpr const char* kAboutClick = "click 40 10\n";

// Width and height of a PNG file (its header).
std::pair<uint32_t, uint32_t> pngSize(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> head(24);
    in.read(reinterpret_cast<char*>(head.data()), 24);
    auto word = [&](size_t at) {
        return uint32_t(head[at]) << 24 | uint32_t(head[at + 1]) << 16 |
               uint32_t(head[at + 2]) << 8 | head[at + 3];
    };
    return {word(16), word(20)};
}

class SuiteEditors : public orq::host::testing::OrqCommandTest<SuiteEditors> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-suite-editors-");
        ASSERT_EQ(run("register " + quote(kTessaline) + " " + quote(kBrisquet)).exitCode, 0);
        // Two seconds of loud noise, with samples beyond full scale.
        AudioData a;
        a.channels = 2;
        a.sampleRate = 44100;
        a.frames = 88200;
        a.format = SampleFormat::Float32;
        uint32_t seed = 12345;
        for (int64_t i = 0; i < a.frames * 2; ++i) {
            seed = seed * 1664525u + 1013904223u;
            a.float32.push_back((float(seed >> 8) / float(1u << 24) - 0.5f) * 2.6f);
        }
        writeAudio(path("loud.wav"), a);
    }
    static Result editor(const std::string& plugin, const std::string& script,
                         const std::string& more = "") {
        std::ofstream(path("script.txt")) << script;
        return run("editor " + quote(plugin) + " --script " + quote(path("script.txt")) +
                   " --png " + quote(path("editor.png")) + " " + more);
    }
};

TEST_F(SuiteEditors, both_editors_open_through_the_creator_and_as_property_pages) {
    for (const auto& [plugin, name, width, height] :
         {std::tuple(kTessaline, "Orq Tessaline", 560, 360),
          std::tuple(kBrisquet, "Orq Brisquet", 400, 240)}) {
        Result r = run("editor " + quote(plugin) + " --png " + quote(path("vc.png")));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("editor: ") + name + " (vc road)"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("library idle"), std::string::npos) << r.out;
        r = run("editor " + quote(plugin) + " --road page --png " + quote(path("page.png")));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("(property page)"), std::string::npos) << r.out;
        const auto [w, h] = pngSize(path("page.png"));
        EXPECT_EQ(w, uint32_t(width)) << name;
        EXPECT_EQ(h, uint32_t(height)) << name;
    }
}

// A host of the Vc family: the plug-in's command 0x40 opens the editor the creator names in an
// "AudioUI" window of the editor's size; 0x41 closes it.
TEST_F(SuiteEditors, the_plugins_command_0x40_opens_each_editor_at_its_size) {
    for (const auto& [plugin, name, width, height] :
         {std::tuple(kTessaline, "Orq Tessaline", 560, 360),
          std::tuple(kBrisquet, "Orq Brisquet", 400, 240)}) {
        void* library = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto creator = reinterpret_cast<VcGetCreatorOfPlugInFn>(dlsym(library, "VcGetCreatorOfPlugIn"));
        auto setApplication =
            reinterpret_cast<VcSetApplicationWindowFn>(dlsym(library, "VcSetApplicationWindow"));
        ASSERT_NE(creator, nullptr);
        CreateEffectFn effect = nullptr;
        CreateEditorFn createEditor = nullptr;
        CreateParametersFn parameters = nullptr;
        ASSERT_EQ(creator(name, 1, &effect, &createEditor, &parameters), 1);
        HWND application = CreateWindowExA(0, "AudioEngine", "application", WS_OVERLAPPED, 0, 0,
                                           10, 10, nullptr, nullptr, nullptr, nullptr);
        setApplication(application);
        PluginRecord* record = effect(nullptr, nullptr, nullptr);
        ASSERT_NE(record, nullptr);
        OpenFormat format{44100, 2, 0};
        record->dispatcher(record, kCmdOpen, &format, 0);
        ASSERT_EQ(record->dispatcher(record, kCmdOpenEditor, reinterpret_cast<void*>(createEditor), 0), 1);
        HWND frame = FindWindowA("AudioUI", nullptr);
        ASSERT_NE(frame, nullptr) << name;
        HWND client = GetWindow(frame, GW_CHILD);
        while (client != nullptr) {
            char cls[32] = {};
            GetClassNameA(client, cls, sizeof cls);
            if (std::string(cls) == "AudioUI") break;
            client = GetWindow(client, GW_HWNDNEXT);
        }
        ASSERT_NE(client, nullptr) << name;
        RECT area{};
        GetClientRect(client, &area);
        EXPECT_EQ(area.right, width) << name;
        EXPECT_EQ(area.bottom, height) << name;
        record->dispatcher(record, kCmdCloseEditor, nullptr, 0);
        EXPECT_EQ(FindWindowA("AudioUI", nullptr), nullptr) << name;
        record->dispatcher(record, kCmdCloseAll, nullptr, 0);
        DestroyWindow(application);
    }
}

TEST_F(SuiteEditors, tessaline_learn_target_starts_learning_and_a_mode_switch_drops_what_was_learned) {
    const std::string script = std::string(kTargetClick) + // down: destination, learn starts
                               "expect DestLnd 0\nplay 1\nwait 600\nexpect DestLnd 1\n" +
                               kTargetClick + "play 1\nwait 600\nexpect SrcLnd 1\n" + kLearnClick +
                               kBandModeClick + "expect log 1\nexpect SrcLnd 0\nexpect DestLnd 0\n" +
                               // The match button is disabled now: a click changes nothing.
                               kMatchClick + "expect match 0\n" + kResetClick + kMatchClick +
                               "expect match 1\n";
    const Result r = editor(kTessaline, script, "--play " + quote(path("loud.wav")));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

TEST_F(SuiteEditors, tessaline_f1_shows_its_help_text_and_the_logo_its_version) {
    const Result r = editor(kTessaline, std::string("key F1\n") + kAboutClick);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("help: ..\\PlugIns\\Tessaline.hlp\nOrq Tessaline"), std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("Version: 1.0 Orq"), std::string::npos) << r.err;
}

TEST_F(SuiteEditors, brisquet_steppers_stop_at_their_ends_and_the_layout_resizes_the_window) {
    // Frequency up (300, 52) five times from 3000 Hz; density down (282, 104) four times from 3.
    std::string script;
    for (int i = 0; i < 5; ++i)
        script += "click 312 52\n";
    for (int i = 0; i < 4; ++i)
        script += "click 282 104\n";
    script += "expect hpf 7000\nexpect den 0\nsnapshot " + path("full.png") +
              "\nclick 320 194\nsnapshot " + path("compact.png") + "\n";
    const Result r = editor(kBrisquet, script);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto full = pngSize(path("full.png"));
    const auto compact = pngSize(path("compact.png"));
    EXPECT_EQ(full.first - compact.first, uint32_t(400 - 170));
    EXPECT_EQ(full.second, compact.second);
}

TEST_F(SuiteEditors, brisquet_solo_and_kick_switches_reach_the_plugin_while_it_plays) {
    const Result r =
        editor(kBrisquet, "play 0.5\nclick 313 159\nexpect solo 0\nclick 283 159\nexpect kick 1\n"
                          "play 0.5\n",
               "--play " + quote(path("loud.wav")));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

} // namespace
