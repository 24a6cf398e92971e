#include "runtime/audio_plugin.h"
#include "testplugins/passthrough_plugin.h"

#include <gtest/gtest.h>

using namespace orq;

namespace {

// Records the editor commands the frame sends.
class RecordingEditor final : public EditorInterface {
  public:
    std::vector<int32_t> commands;
    intptr_t command(int32_t c, void*, intptr_t) override {
        commands.push_back(c);
        return 0;
    }
};

struct OpenPlugin {
    AudioPlugin* plugin = createPassthroughPlugin(createPassthroughParameters(), nullptr, nullptr);
    PluginRecord* r = &plugin->record();
    explicit OpenPlugin(int32_t kind) {
        r->kind = kind;
        OpenFormat f{44100, 2, 0};
        r->dispatcher(r, kCmdOpen, &f, 0);
    }
    ~OpenPlugin() { r->dispatcher(r, kCmdCloseAll, nullptr, 0); }
};

} // namespace

TEST(FormatChange, refused_format_is_handled_by_record_kind) {
    OpenFormat refused{44100, 3, 0}; // the pass-through takes one or two channels
    {
        OpenPlugin p(1);
        EXPECT_EQ(p.r->dispatcher(p.r, kCmdFormatChanged, &refused, 0), kStatusChannelsRefused);
        EXPECT_EQ(p.r->bypass, 1) << "other kinds are bypassed";
    }
    {
        OpenPlugin p(2);
        EXPECT_EQ(p.r->dispatcher(p.r, kCmdFormatChanged, &refused, 0), kStatusChannelsRefused);
        EXPECT_EQ(p.r->bypass, 0) << "kind 2 changes nothing";
        EXPECT_EQ(p.r->dispatcher(p.r, kCmdSampleRate, nullptr, 0), 44100);
    }
    {
        OpenPlugin p(4);
        EXPECT_EQ(p.r->dispatcher(p.r, kCmdFormatChanged, &refused, 0), kStatusChannelsRefused);
        EXPECT_EQ(p.r->bypass, 1) << "kind 4 re-opens anyway and is bypassed when that fails";
        EXPECT_EQ(p.r->dispatcher(p.r, kCmdOpenResult, nullptr, 0), kStatusChannelsRefused);
    }
}

TEST(FormatChange, same_format_answers_the_stored_result_and_a_new_one_reopens_and_restarts) {
    OpenPlugin p(1);
    RecordingEditor editor;
    p.r->dispatcher(p.r, kCmdAttachEditor, editor.boundaryRecord(), 0);
    OpenFormat same{44100, 2, 0};
    EXPECT_EQ(p.r->dispatcher(p.r, kCmdFormatChanged, &same, 0), 0);
    EXPECT_TRUE(editor.commands.empty());
    p.r->dispatcher(p.r, kCmdStart, nullptr, 0);
    OpenFormat mono{48000, 1, 0};
    EXPECT_EQ(p.r->dispatcher(p.r, kCmdFormatChanged, &mono, 0), 0);
    EXPECT_EQ(p.r->dispatcher(p.r, kCmdSampleRate, nullptr, 0), 48000);
    const std::vector<int32_t> expected = {kEdStarted, kEdStopped, kEdFormatChanged, kEdStarted};
    EXPECT_EQ(editor.commands, expected);
    p.r->dispatcher(p.r, kCmdAttachEditor, nullptr, 0);
}

TEST(Bypass, entering_while_running_stops_and_leaving_starts_again) {
    OpenPlugin p(1);
    RecordingEditor editor;
    p.r->dispatcher(p.r, kCmdAttachEditor, editor.boundaryRecord(), 0);
    p.r->dispatcher(p.r, kCmdStart, nullptr, 0);
    p.r->dispatcher(p.r, kCmdSetBypass, nullptr, 1);
    p.r->dispatcher(p.r, kCmdSetBypass, nullptr, 1); // no change: nothing sent
    p.r->dispatcher(p.r, kCmdSetBypass, nullptr, 0);
    const std::vector<int32_t> expected = {kEdStarted, kEdStopped, kEdStarted};
    EXPECT_EQ(editor.commands, expected);
    EXPECT_EQ(p.r->dispatcher(p.r, kCmdLatency, nullptr, 0), 0);
    p.r->dispatcher(p.r, kCmdCloseEditor, nullptr, 0);
    EXPECT_EQ(editor.commands.back(), kEdDestroy);
    EXPECT_EQ(p.r->editor, nullptr);
}

TEST(Dispatcher, unknown_commands_go_to_the_plug_in_and_reserved_queries_answer_defaults) {
    OpenPlugin p(1);
    EXPECT_EQ(p.r->dispatcher(p.r, 0x77, nullptr, 0), 0);
    EXPECT_EQ(p.r->dispatcher(p.r, kCmdCompatQuery25, nullptr, 0), 1);
    float query = 0;
    EXPECT_EQ(p.r->dispatcher(p.r, kCmdCompatFloatQuery1f, &query, 0), 1);
    EXPECT_EQ(query, -1.0f);
    EXPECT_EQ(p.r->processReplacing(p.r, nullptr), -1) << "a negative answer becomes -1";
}
