// orq gallery: the control sheet is written as a picture of many colours, the same at every run,
// and a command line or a destination it cannot use is refused with nothing written.
#include "host/cli_test_support.h"
#include "host/png_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using orq::host::testing::Picture;
using orq::host::testing::readPng;
using orq::host::testing::resourcePicture;
using orq::host::testing::Result;

// The sheet's background: the skin's panel colour.
constexpr uint32_t kSheetColour = 0x1e2126;
// The selector's position pictures (orq's resources), shown by no other control of the sheet.
constexpr int kSelectorOn = 20040;
constexpr int kSelectorOff = 20041;

class OrqGallery : public orq::host::testing::OrqCommandTest<OrqGallery> {
  protected:
    static void SetUpTestSuite() { makeScratch("orq-gallery-"); }
};

TEST_F(OrqGallery, sheet_is_written_with_every_control_painted_and_is_the_same_each_run) {
    const Result r = run("gallery --png " + quote(path("sheet.png")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Picture sheet = readPng(path("sheet.png"));
    ASSERT_GT(sheet.width, 0) << "no PNG written";
    EXPECT_GE(sheet.width, 600);
    EXPECT_GE(sheet.height, 400);
    std::map<uint32_t, int> colours;
    for (int y = 0; y < sheet.height; ++y)
        for (int x = 0; x < sheet.width; ++x)
            ++colours[sheet.at(x, y)];
    EXPECT_GT(colours.size(), 24u) << "controls, their parts and the captions' letters";
    const double painted = 1.0 - double(colours[kSheetColour]) / (sheet.width * sheet.height);
    EXPECT_GT(painted, 0.08) << "the controls cover a good part of the sheet";
    EXPECT_LT(painted, 0.6) << "and the sheet shows between them";

    ASSERT_EQ(run("gallery --png " + quote(path("again.png"))).exitCode, 0);
    const Picture again = readPng(path("again.png"));
    EXPECT_EQ(again.rgb, sheet.rgb) << "nothing in the sheet depends on the run";
}

TEST_F(OrqGallery, the_selectors_three_positions_show_whole_side_by_side_the_second_chosen) {
    ASSERT_EQ(run("gallery --png " + quote(path("selector.png"))).exitCode, 0);
    const Picture sheet = readPng(path("selector.png"));
    const Picture on = resourcePicture(kSelectorOn);
    const Picture off = resourcePicture(kSelectorOff);
    ASSERT_GT(on.width, 0);
    ASSERT_NE(on.rgb, off.rgb);
    const std::vector<POINT> chosen = sheet.places(on);
    const std::vector<POINT> others = sheet.places(off);
    ASSERT_EQ(chosen.size(), 1u) << "the chosen position, uncovered";
    ASSERT_EQ(others.size(), 2u) << "the other two, uncovered";
    EXPECT_EQ(others[0].y, chosen[0].y);
    EXPECT_EQ(others[1].y, chosen[0].y);
    EXPECT_LT(others[0].x + off.width, chosen[0].x) << "first, second, third from left to right";
    EXPECT_LT(chosen[0].x + on.width, others[1].x);
}

TEST_F(OrqGallery, command_line_or_destination_it_cannot_use_is_refused_and_nothing_written) {
    const Result none = run("gallery");
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("gallery needs --png OUT.png"), std::string::npos) << none.err;
    const Result stray = run("gallery --png " + quote(path("x.png")) + " extra");
    EXPECT_EQ(stray.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(path("x.png")));
    const std::string missing = path("no-such-folder/sheet.png");
    const Result unwritable = run("gallery --png " + quote(missing));
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.err.find(missing), std::string::npos) << unwritable.err;
    EXPECT_FALSE(std::filesystem::exists(missing));
}

} // namespace
