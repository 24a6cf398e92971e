// orq spectrogram --png and orq scope --png as a user runs them: the analysers' editors
// pictured after a file played through them.
#include "host/audio_file.h"
#include "host/cli_test_support.h"
#include "host/png_test_support.h"

#include <gtest/gtest.h>

#include <png.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

using namespace orq;
using namespace orq::host;

namespace {

using orq::host::testing::Result;

struct PngSize {
    int width = 0, height = 0;
};

PngSize pngSize(const std::string& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    PngSize size;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return size;
    size.width = int(image.width);
    size.height = int(image.height);
    png_image_free(&image);
    return size;
}

class AnalyserPictures : public orq::host::testing::OrqCommandTest<AnalyserPictures> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-analyser-pictures-");
        ASSERT_EQ(run("register " + quote(ORQ_PLUGIN_DIR "/ombrel_dx.so") + " " +
                      quote(ORQ_PLUGIN_DIR "/lunavis_dx.so"))
                      .exitCode,
                  0);
    }
    static std::string tone(const std::string& name, double seconds) {
        AudioData a;
        a.channels = 2;
        a.sampleRate = 44100;
        a.frames = int64_t(seconds * a.sampleRate);
        a.format = SampleFormat::Float32;
        for (int64_t i = 0; i < a.frames; ++i)
            for (int c = 0; c < 2; ++c)
                a.float32.push_back(
                    0.5f * float(std::sin(2.0 * std::numbers::pi * 1000.0 * double(i) / 44100)));
        writeAudio(path(name), a);
        return path(name);
    }
};

TEST_F(AnalyserPictures, spectrogram_picture_grows_with_the_file_or_its_last_seconds) {
    const std::string shortFile = tone("short.wav", 1.0);
    const std::string longFile = tone("long.wav", 8.0);
    ASSERT_EQ(run("spectrogram " + quote(shortFile) + " --png " + quote(path("s.png"))).exitCode,
              0);
    ASSERT_EQ(run("spectrogram " + quote(longFile) + " --png " + quote(path("l.png"))).exitCode, 0);
    const Result last =
        run("spectrogram " + quote(longFile) + " --png " + quote(path("n.png")) + " --seconds 5");
    ASSERT_EQ(last.exitCode, 0) << last.err;
    const PngSize s = pngSize(path("s.png")), l = pngSize(path("l.png")),
                  n = pngSize(path("n.png"));
    // A second fits the usual picture (256 spectra, about 3 s); eight seconds are 690 spectra
    // (rounded up) of one pixel each, five 431.
    EXPECT_GT(s.width, 400);
    EXPECT_EQ(l.width - s.width, 690 - 256) << l.width << " vs " << s.width;
    EXPECT_EQ(n.width - s.width, 431 - 256) << n.width << " vs " << s.width;
    EXPECT_EQ(l.height, s.height);
}

TEST_F(AnalyserPictures, options_that_need_a_picture_are_refused_without_one) {
    const std::string file = tone("t.wav", 0.5);
    const Result seconds =
        run("spectrogram " + quote(file) + " " + quote(path("x.csv")) + " --seconds 2");
    EXPECT_EQ(seconds.exitCode, 2);
    EXPECT_NE(seconds.err.find("--seconds needs --png OUT.png"), std::string::npos) << seconds.err;
    const Result nothing = run("spectrogram " + quote(file));
    EXPECT_EQ(nothing.exitCode, 2);
    const Result at = run("scope " + quote(file) + " --at 0.2");
    EXPECT_EQ(at.exitCode, 2);
    EXPECT_NE(at.err.find("--at needs --png OUT.png"), std::string::npos) << at.err;
}

TEST_F(AnalyserPictures, scope_picture_is_the_editor_window_with_the_table_still_printed) {
    const std::string file = tone("s.wav", 1.0);
    const Result r = run("scope " + quote(file) + " --png " + quote(path("p.png")) + " --at 0.5");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("phase scope picture written to"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("correlation mean"), std::string::npos) << r.out;
    const PngSize p = pngSize(path("p.png"));
    EXPECT_GE(p.width, 320);
    EXPECT_GE(p.height, 300);
}

// A right click copies the display to the clipboard; `clipboard FILE` saves what orq finds
// there. The copy is the window's own pixels at the display's place, and with Control their
// inverse (white paper, dark points).
TEST_F(AnalyserPictures, right_clicks_copy_each_display_plain_and_inverted_as_the_window_shows_it) {
    using orq::host::testing::Picture;
    using orq::host::testing::readPng;
    const std::string input = tone("copy.wav", 1.0);
    auto expectClipboardCopies = [&](const std::string& library, const std::string& folder,
                                     int width, int height) {
        std::filesystem::create_directories(folder);
        const std::string script = folder + "/copy.txt";
        // A second right click soon after the first would be a double click: wait between (the
        // display's timer may move it meanwhile, so each copy has its own snapshot).
        std::ofstream(script) << "play 0.5\n"
                              << "click 4 4 right\n"
                              << "clipboard " + folder + "/copy.png\n"
                              << "snapshot " + folder + "/window.png\n"
                              << "wait 1000\n"
                              << "click 4 4 right ctrl\n"
                              << "clipboard " + folder + "/inverted.png\n"
                              << "snapshot " + folder + "/window-after.png\n";
        const Result r = run("editor " + quote(library) + " --play " + quote(input) + " --script " +
                             quote(script) + " --png " + quote(folder + "/t.png"));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Picture copy = readPng(folder + "/copy.png");
        const Picture window = readPng(folder + "/window.png");
        const Picture inverted = readPng(folder + "/inverted.png");
        const Picture windowAfter = readPng(folder + "/window-after.png");
        ASSERT_EQ(copy.width, width);
        ASSERT_EQ(copy.height, height);
        const RECT place = window.find(copy);
        ASSERT_GE(place.right, place.left) << "the copy is not the window's pixels anywhere";
        ASSERT_EQ(inverted.width, width);
        ASSERT_EQ(inverted.height, height);
        int differences = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                differences += inverted.at(x, y) !=
                               (~windowAfter.at(place.left + x, place.top + y) & 0xFFFFFF);
        EXPECT_EQ(differences, 0) << "pixels of the Control copy that are not the inverse";
    };
    expectClipboardCopies(ORQ_PLUGIN_DIR "/lunavis_dx.so", path("scope-copy"), 195, 180);
    expectClipboardCopies(ORQ_PLUGIN_DIR "/ombrel_dx.so", path("spectrogram-copy"), 343, 244);
}

TEST_F(AnalyserPictures, an_empty_clipboard_is_a_script_error_naming_its_line) {
    const std::string script = path("empty.txt");
    std::ofstream(script) << "wait 10\nclipboard " << path("none.png") << "\n";
    const Result r = run("editor " + quote(ORQ_PLUGIN_DIR "/lunavis_dx.so") + " --script " +
                         quote(script) + " --png " + quote(path("e.png")));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the clipboard holds no picture"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("none.png")));
    EXPECT_FALSE(std::filesystem::exists(path("e.png"))) << "nothing written after an error";
}

} // namespace
