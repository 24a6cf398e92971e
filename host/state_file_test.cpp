// State files on their own: the header around the persistent stream, and what loading refuses.
#include "host/state_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace orq::host;

namespace {

constexpr CLSID kCompressorId{
    0xA3F1C250, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x01}};
constexpr CLSID kPressaneId{
    0xA3F1C260, 0x6B2E, 0x4E8A, {0x9D, 0x13, 0x47, 0xC0, 0xB8, 0xE2, 0x1A, 0x02}};

// Two scalars around an array of three 4-byte elements.
const StreamLayout kLayout{{"Gain", false, 0, 0}, {"Bands", true, 3, 4}, {"Mix", false, 0, 0}};

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(v >> shift));
}

void putFloat(std::vector<uint8_t>& out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put32(out, bits);
}

// A stream of kLayout, written by hand as the filter writes it.
std::vector<uint8_t> stream(float gain = 0.5f, uint32_t bandCount = 3, uint32_t elementSize = 4) {
    std::vector<uint8_t> s;
    put32(s, 7); // the stream's own version
    putFloat(s, gain);
    put32(s, bandCount);
    put32(s, elementSize);
    for (uint32_t i = 0; i < bandCount * elementSize / 4; ++i)
        putFloat(s, float(i));
    putFloat(s, 1.0f);
    return s;
}

std::string refusal(const std::vector<uint8_t>& bytes, const StateOrigin& loader) {
    try {
        decodeStateFile(bytes, loader, kLayout);
    } catch (const StateFileError& e) {
        return e.what();
    }
    return "(loaded)";
}

TEST(StateFile, the_header_names_the_plug_in_and_frames_the_stream_unchanged) {
    const std::vector<uint8_t> s = stream();
    const std::vector<uint8_t> file = encodeStateFile({kCompressorId, "Orq Compressor"}, s);
    ASSERT_EQ(file.size(), kStateHeaderBytes + s.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 8), "ORQSTATE");
    EXPECT_EQ(file[8], kStateFormatVersion);
    EXPECT_EQ(file[12], 0x50) << "class id Data1, little-endian";
    EXPECT_EQ(file[15], 0xA3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()) + 28), "Orq Compressor");
    EXPECT_EQ(file[60], s.size());
    EXPECT_TRUE(std::equal(s.begin(), s.end(), file.begin() + kStateHeaderBytes));
    EXPECT_EQ(decodeStateFile(file, {kCompressorId, "Orq Compressor"}, kLayout), s);
}

TEST(StateFile, a_state_of_another_plug_in_is_refused_naming_both) {
    const std::vector<uint8_t> file = encodeStateFile({kPressaneId, "Orq Pressane"}, stream());
    EXPECT_EQ(refusal(file, {kCompressorId, "Orq Compressor"}),
              "it was saved by Orq Pressane, not Orq Compressor");
    // The class id decides, not the name (a library may be renamed); without a registered class
    // id on either side the names decide.
    EXPECT_EQ(refusal(file, {kPressaneId, "Orq Pressane 2"}), "(loaded)");
    EXPECT_EQ(refusal(file, {CLSID{}, "Orq Pressane"}), "(loaded)");
    EXPECT_EQ(refusal(file, {CLSID{}, "Orq Compressor"}),
              "it was saved by Orq Pressane, not Orq Compressor");
    EXPECT_EQ(refusal(encodeStateFile({CLSID{}, "Orq Pressane"}, stream()),
                      {kCompressorId, "Orq Compressor"}),
              "it was saved by Orq Pressane, not Orq Compressor");
}

TEST(StateFile, damaged_headers_and_payloads_are_refused) {
    const StateOrigin me{kCompressorId, "Orq Compressor"};
    const std::vector<uint8_t> good = encodeStateFile(me, stream());
    std::vector<uint8_t> cut(good.begin(), good.end() - 1);
    EXPECT_EQ(refusal(cut, me), "damaged: its header announces 32 bytes of settings and 31 follow");
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_EQ(refusal(longer, me),
              "damaged: its header announces 32 bytes of settings and 33 follow");
    EXPECT_EQ(refusal(std::vector<uint8_t>(good.begin(), good.begin() + 20), me),
              "damaged: its header is cut short");
    std::vector<uint8_t> future = good;
    future[8] = 2;
    EXPECT_EQ(refusal(future, me),
              "a state file of format 2, which this orq does not read (it reads format 1)");
    // A consistent header around a stream of the wrong layout.
    EXPECT_EQ(refusal(encodeStateFile(me, stream(0.5f, 4)), me),
              "damaged: 'Bands' holds 4 elements of 4 bytes, not 3 of 4");
    EXPECT_EQ(refusal(encodeStateFile(me, stream(0.5f, 0x40000000, 0x40000000)), me),
              "damaged: 'Bands' holds 1073741824 elements of 1073741824 bytes, not 3 of 4");
}

TEST(StateFile, a_bare_stream_loads_only_when_its_layout_is_exactly_the_plug_ins) {
    const StateOrigin me{kCompressorId, "Orq Compressor"};
    EXPECT_EQ(refusal(stream(), me), "(loaded)");
    std::vector<uint8_t> extra = stream();
    extra.push_back(0);
    EXPECT_EQ(refusal(extra, me), "not a state file");
    EXPECT_EQ(refusal(stream(0.5f, 2), me), "not a state file");
    EXPECT_EQ(refusal(stream(0.5f, 3, 8), me), "not a state file");
    const std::vector<uint8_t> s = stream();
    EXPECT_EQ(refusal(std::vector<uint8_t>(s.begin(), s.end() - 4), me), "not a state file");
    EXPECT_EQ(refusal({}, me), "not a state file");
    const std::string wave = "RIFF\x24\x00\x00\x00WAVEfmt ";
    EXPECT_EQ(refusal(std::vector<uint8_t>(wave.begin(), wave.end()), me), "not a state file");
}

TEST(StateFile, a_scalar_that_is_not_finite_is_refused_naming_its_key) {
    const StateOrigin me{kCompressorId, "Orq Compressor"};
    EXPECT_EQ(refusal(stream(std::nanf("")), me), "it holds not a number in 'Gain'");
    EXPECT_EQ(refusal(encodeStateFile(me, stream(-INFINITY)), me),
              "it holds an infinity in 'Gain'");
}

class StateFileReading : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("orq-state-file-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string readRefusal(const std::string& path) {
        try {
            readStateFile(path);
        } catch (const StateFileError& e) {
            return e.what();
        }
        return "(read)";
    }
    std::filesystem::path dir_;
};

TEST_F(StateFileReading, what_is_no_regular_file_or_too_large_is_refused_before_reading) {
    EXPECT_EQ(readRefusal("/dev/zero"), "not a state file (not a regular file)");
    EXPECT_EQ(readRefusal(dir_.string()), "it is a directory");
    const std::string fifo = (dir_ / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readRefusal(fifo), "not a state file (not a regular file)") << "and it did not block";
    const std::string huge = (dir_ / "huge.state").string();
    { std::ofstream(huge) << "x"; }
    std::filesystem::resize_file(huge, kStateFileBytesMax + 1); // sparse: nothing is written
    EXPECT_EQ(readRefusal(huge),
              "not a state file (67108865 bytes, more than any plug-in's settings)");
    std::filesystem::resize_file(huge, 5);
    EXPECT_EQ(readStateFile(huge), (std::vector<uint8_t>{'x', 0, 0, 0, 0}));
    EXPECT_THROW(readStateFile((dir_ / "missing").string()), std::runtime_error);
}

} // namespace
