// The transfer-curve editor driven by mouse messages: its geometry, the point texts, inserting,
// deleting, dragging and rectangle selection of points, and the meter.
#include "compressor/compressor_editor_curve.h"
#include "compressor/compressor_editor_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orq::compressor {
namespace {

using testing::Mouse;
using testing::notifications;
using testing::ParentWindow;

constexpr int kCurveId = 0x405;
constexpr int kWidth = 190;
constexpr int kHeight = 188;

BandShape shapeOf(std::initializer_list<std::pair<float, float>> points) {
    BandShape shape{};
    for (const auto& [x, y] : points) {
        shape.x[shape.count] = x;
        shape.y[shape.count] = y;
        ++shape.count;
    }
    return shape;
}

class CurveEditorTest : public ::testing::Test {
  protected:
    CurveEditorTest()
        : curve_(parent_.hwnd(), kCurveId, 387, 70, kWidth, kHeight),
          mouse_(parent_.hwnd(), curve_.hwnd()) {
        curve_.setActiveBand(0);
        notifications().clear();
    }
    size_t changes() const {
        size_t n = 0;
        for (const auto& note : notifications())
            n += note.id == kCurveId ? 1 : 0;
        return n;
    }

    ParentWindow parent_;
    CurveEditor curve_;
    Mouse mouse_;
};

TEST_F(CurveEditorTest, plot_keeps_the_scale_strips_and_maps_levels_linearly) {
    const RECT plot = curve_.plot();
    EXPECT_EQ(plot.left, 5);
    EXPECT_EQ(plot.top, 5);
    EXPECT_EQ(plot.right, kWidth - 24 - 5);
    EXPECT_EQ(plot.bottom, kHeight - 24 - 5);
    EXPECT_EQ(curve_.xOfLevel(1e-6), plot.left);
    EXPECT_EQ(curve_.xOfLevel(1.0), plot.right - 1);
    EXPECT_EQ(curve_.yOfLevel(1e-6), plot.bottom);
    EXPECT_EQ(curve_.yOfLevel(1.0), plot.top);
    EXPECT_NEAR(curve_.levelOfX(curve_.xOfLevel(0.5)), 0.5, 1.0 / (plot.right - 1 - plot.left));
    EXPECT_NEAR(curve_.levelOfY(curve_.yOfLevel(0.25)), 0.25, 1.0 / (plot.bottom - plot.top));
}

TEST_F(CurveEditorTest, tooltip_of_a_point_at_minus_20_in_and_minus_26_out_reads_gain_minus_6) {
    const double in = std::pow(10.0, -20.0 / 20.0);
    const double out = std::pow(10.0, -26.0 / 20.0);
    curve_.setShape(shapeOf({{0.0f, 0.0f}, {float(in), float(out)}, {1.0f, 1.0f}}));
    const POINT at = curve_.pointAt(1);
    mouse_.hover(at.x, at.y);
    EXPECT_EQ(curve_.pointText(),
              " In:\t-20.0\tdB      \n Out:\t-26.0\tdB     \n Gain:\t-6.0 \tdB    ");
}

TEST_F(CurveEditorTest, press_near_the_curve_inserts_a_point_between_its_neighbours) {
    const int x = curve_.xOfLevel(0.5);
    const int y = curve_.yOfLevel(0.5) + 4; // 4 pixels below the unity curve
    mouse_.click(x, y);
    ASSERT_EQ(curve_.shape().count, 3);
    EXPECT_NEAR(curve_.shape().x[1], 0.5, 0.01);
    EXPECT_LT(curve_.shape().y[1], curve_.shape().x[1]);
    EXPECT_EQ(changes(), 1u);
    EXPECT_FALSE(curve_.isSelected(1)) << "the release clears a selection made by pressing";
    // Too far from the curve: no point.
    mouse_.click(curve_.xOfLevel(0.25), curve_.yOfLevel(0.75));
    EXPECT_EQ(curve_.shape().count, 3);
}

TEST_F(CurveEditorTest, no_point_beyond_fifteen) {
    BandShape full{};
    for (int i = 0; i < kShapeMaxPoints; ++i)
        full.x[i] = full.y[i] = float(i) / float(kShapeMaxPoints - 1);
    full.count = kShapeMaxPoints;
    curve_.setShape(full);
    const double between = 0.5 * (full.x[3] + full.x[4]);
    mouse_.click(curve_.xOfLevel(between), curve_.yOfLevel(between) + 4);
    EXPECT_EQ(curve_.shape().count, kShapeMaxPoints);
    EXPECT_EQ(changes(), 0u);
}

TEST_F(CurveEditorTest, shift_press_deletes_a_middle_point_but_never_the_ends) {
    curve_.setShape(shapeOf({{0.0f, 0.0f}, {0.3f, 0.3f}, {0.6f, 0.4f}, {1.0f, 0.5f}}));
    POINT at = curve_.pointAt(1);
    mouse_.click(at.x, at.y, MK_SHIFT);
    ASSERT_EQ(curve_.shape().count, 3);
    EXPECT_FLOAT_EQ(curve_.shape().x[1], 0.6f);
    EXPECT_EQ(changes(), 1u);
    at = curve_.pointAt(0);
    mouse_.click(at.x, at.y, MK_SHIFT);
    at = curve_.pointAt(2);
    mouse_.click(at.x, at.y, MK_SHIFT);
    EXPECT_EQ(curve_.shape().count, 3);
    EXPECT_EQ(changes(), 1u);
}

TEST_F(CurveEditorTest, dragging_a_point_moves_it_and_it_stays_between_its_neighbours) {
    curve_.setShape(shapeOf({{0.0f, 0.0f}, {0.3f, 0.3f}, {0.6f, 0.6f}, {1.0f, 1.0f}}));
    POINT at = curve_.pointAt(2);
    mouse_.drag(at.x, at.y, curve_.xOfLevel(0.7), curve_.yOfLevel(0.4));
    EXPECT_NEAR(curve_.shape().x[2], 0.7, 0.01);
    EXPECT_NEAR(curve_.shape().y[2], 0.4, 0.01);
    EXPECT_GT(changes(), 0u);
    EXPECT_NE(curve_.pointText().find("Gain"), std::string::npos) << "the texts follow the point";
    // Dragged far left: stops at the point below it.
    at = curve_.pointAt(2);
    mouse_.drag(at.x, at.y, curve_.xOfLevel(0.05), at.y);
    EXPECT_FLOAT_EQ(curve_.shape().x[2], curve_.shape().x[1]);
    for (int i = 1; i < curve_.shape().count; ++i)
        EXPECT_GE(curve_.shape().x[i], curve_.shape().x[i - 1]) << "point " << i;
}

TEST_F(CurveEditorTest, the_last_point_moves_only_vertically_and_stays_inside_the_levels) {
    POINT at = curve_.pointAt(1);
    mouse_.drag(at.x, at.y, at.x - 40, curve_.yOfLevel(0.5));
    EXPECT_FLOAT_EQ(curve_.shape().x[1], 1.0f);
    EXPECT_NEAR(curve_.shape().y[1], 0.5, 0.01);
    at = curve_.pointAt(1);
    mouse_.drag(at.x, at.y, at.x, -200);
    EXPECT_FLOAT_EQ(curve_.shape().y[1], 1.0f);
}

TEST_F(CurveEditorTest, ctrl_moves_the_point_by_a_fiftieth_of_the_pointer) {
    curve_.setShape(shapeOf({{0.0f, 0.0f}, {0.5f, 0.5f}, {1.0f, 1.0f}}));
    const POINT at = curve_.pointAt(1);
    const int pixels = 50;
    mouse_.drag(at.x, at.y, at.x, at.y + pixels, MK_CONTROL);
    const RECT plot = curve_.plot();
    const double expected = 0.5 - 0.02 * pixels / double(plot.bottom - plot.top);
    EXPECT_NEAR(curve_.shape().y[1], expected, 1e-4);
}

TEST_F(CurveEditorTest, a_rectangle_selects_the_points_inside_and_they_move_together) {
    curve_.setShape(shapeOf({{0.0f, 0.0f}, {0.3f, 0.3f}, {0.5f, 0.5f}, {0.8f, 0.8f}, {1.0f, 1.0f}}));
    // From above-left of point 1 to below-right of point 2, starting away from the curve.
    mouse_.drag(curve_.xOfLevel(0.25), curve_.yOfLevel(0.7), curve_.xOfLevel(0.55),
                curve_.yOfLevel(0.2));
    EXPECT_FALSE(curve_.isSelected(0));
    EXPECT_TRUE(curve_.isSelected(1));
    EXPECT_TRUE(curve_.isSelected(2));
    EXPECT_FALSE(curve_.isSelected(3));
    EXPECT_EQ(changes(), 0u);
    const POINT at = curve_.pointAt(2);
    mouse_.drag(at.x, at.y, at.x, curve_.yOfLevel(0.3));
    EXPECT_NEAR(curve_.shape().y[2], 0.3, 0.01);
    EXPECT_NEAR(curve_.shape().y[1], 0.1, 0.01) << "moved with it";
    EXPECT_NEAR(curve_.shape().y[3], 0.8, 1e-6);
}

TEST_F(CurveEditorTest, without_an_active_band_nothing_is_edited) {
    curve_.setActiveBand(-1);
    mouse_.click(curve_.xOfLevel(0.5), curve_.yOfLevel(0.5));
    EXPECT_EQ(curve_.shape().count, 2);
    EXPECT_EQ(changes(), 0u);
}

TEST_F(CurveEditorTest, the_meter_repaints_only_when_its_pixel_changes) {
    curve_.setMeter(0.5f);
    const int paints = curve_.meterPaints();
    curve_.setMeter(0.5001f);
    EXPECT_EQ(curve_.meterPaints(), paints);
    curve_.setMeter(0.6f);
    EXPECT_EQ(curve_.meterPaints(), paints + 1);
    curve_.setMeter(-1.0f);
    EXPECT_EQ(curve_.meterPaints(), paints + 2);
    curve_.setMeter(-1.0f);
    EXPECT_EQ(curve_.meterPaints(), paints + 2);
}

} // namespace
} // namespace orq::compressor
