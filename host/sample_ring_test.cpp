// The ring between orq play's file reader and its audio callback.
#include "host/sample_ring.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

using orq::host::SampleRing;

namespace {

// Writes frames valued first, first + 1, ... into both channels (the right one negated).
int64_t writeCounting(SampleRing& ring, float first, int64_t frames) {
    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) {
        left[size_t(i)] = first + float(i);
        right[size_t(i)] = -(first + float(i));
    }
    const std::array<const float*, 2> channels{left.data(), right.data()};
    return ring.write(channels.data(), frames);
}

} // namespace

TEST(SampleRing, capacity_rounds_up_to_a_power_of_two) {
    EXPECT_EQ(SampleRing(2, 5).capacityFrames(), 8);
    EXPECT_EQ(SampleRing(1, 44100).capacityFrames(), 65536);
}

TEST(SampleRing, frames_come_back_in_order_across_the_wrap_and_a_full_ring_takes_none) {
    SampleRing ring(2, 8);
    ASSERT_EQ(writeCounting(ring, 0, 5), 5);
    std::array<float, 16> left{}, right{};
    std::array<float*, 2> out{left.data(), right.data()};
    ASSERT_EQ(ring.read(out.data(), 0, 3), 3);
    EXPECT_EQ(left[2], 2.0f);
    // 2 frames wait, so 6 fit; they wrap around the end of the storage.
    EXPECT_EQ(writeCounting(ring, 5, 9), 6);
    EXPECT_EQ(ring.writableFrames(), 0);
    EXPECT_EQ(writeCounting(ring, 100, 1), 0);
    // Read at an offset into the caller's arrays: all 8 waiting frames, 3 … 10.
    ASSERT_EQ(ring.read(out.data(), 4, 16), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(left[size_t(4 + i)], float(3 + i)) << "frame " << i;
        EXPECT_EQ(right[size_t(4 + i)], -float(3 + i)) << "frame " << i;
    }
    EXPECT_EQ(ring.read(out.data(), 0, 1), 0);
}

TEST(SampleRing, a_writer_and_a_reader_thread_pass_every_frame_in_order) {
    constexpr int64_t kFrames = 400000;
    SampleRing ring(2, 1000);
    std::thread writer([&] {
        int64_t at = 0;
        int64_t piece = 1;
        while (at < kFrames) {
            at += writeCounting(ring, float(at), std::min(piece, kFrames - at));
            piece = piece % 777 + 13; // pieces of many sizes, wrapping at many places
        }
    });
    std::vector<float> left(512), right(512);
    std::array<float*, 2> out{left.data(), right.data()};
    int64_t expected = 0, piece = 5, wrong = 0;
    while (expected < kFrames) {
        const int64_t got = ring.read(out.data(), 0, piece);
        for (int64_t i = 0; i < got; ++i, ++expected)
            if (left[size_t(i)] != float(expected) || right[size_t(i)] != -float(expected)) ++wrong;
        piece = piece % 511 + 1;
    }
    writer.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(ring.readableFrames(), 0);
}
