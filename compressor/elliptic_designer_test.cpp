#include "compressor/elliptic_designer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using orq::compressor::EllipticDesigner;

constexpr double kRippleDb = 0.3;
constexpr double kAttenuationDb = 30.0;
constexpr double kTransitionHz = 300.0;

double magnitudeDb(const EllipticDesigner& d, double hz) {
    return 20.0 * std::log10(std::abs(d.response(hz)));
}

EllipticDesigner designAt(double passbandHz, double sampleRate) {
    EllipticDesigner d;
    EXPECT_TRUE(d.designLowPass(passbandHz, passbandHz + kTransitionHz, sampleRate, kRippleDb,
                                kAttenuationDb, 4));
    return d;
}

TEST(EllipticOrder, complete_integral_matches_reference_values) {
    EXPECT_NEAR(EllipticDesigner::completeIntegral(0.0), M_PI / 2.0, 1e-15);
    EXPECT_NEAR(EllipticDesigner::completeIntegral(0.5), 1.685750354812596, 1e-13);
    EXPECT_NEAR(EllipticDesigner::completeIntegral(0.9), 2.280549138422770, 1e-13);
}

TEST(EllipticOrder, order_is_the_ceiling_of_the_integral_ratio) {
    const double k1 = std::sqrt((std::pow(10.0, 0.03) - 1.0) / (std::pow(10.0, 3.0) - 1.0));
    // Ratios 4.27, 3.88, 2.23, 1.56 and 6.14 for these edge pairs.
    EXPECT_EQ(EllipticDesigner::ellipticOrder(1000.0 / 1300.0, k1), 5);
    EXPECT_EQ(EllipticDesigner::ellipticOrder(1000.0 / 1430.0, k1), 4);
    EXPECT_EQ(EllipticDesigner::ellipticOrder(100.0 / 400.0, k1), 3);
    EXPECT_EQ(EllipticDesigner::ellipticOrder(25.0 / 325.0, k1), 2);
    EXPECT_EQ(EllipticDesigner::ellipticOrder(5000.0 / 5300.0, k1), 7);
}

TEST(EllipticOrder, refuses_edges_too_close_and_discrimination_too_small) {
    EXPECT_EQ(EllipticDesigner::ellipticOrder(0.99995, 0.03), -1);
    EXPECT_EQ(EllipticDesigner::ellipticOrder(0.5, 1e-9), -1);
    EXPECT_EQ(EllipticDesigner::ellipticOrder(std::nan(""), 0.03), -1);
}

TEST(EllipticDesign, matches_reference_elliptic_response_at_1000_hz) {
    // Reference: a standard order-4 elliptic low-pass, 0.3 dB / 30 dB, edge 1000 Hz at 44.1 kHz.
    const EllipticDesigner d = designAt(1000.0, 44100.0);
    EXPECT_EQ(d.order, 4);
    EXPECT_NEAR(d.stopbandEdgesHz[0], 1430.0, 1e-9); // 1300 widened once by 1.1
    const double hz[] = {0.0, 500.0, 1000.0, 1200.0, 1430.0, 3000.0, 10000.0};
    const double refDb[] = {-0.3,        -0.0154558179, -0.3,       -11.7121521,
                            -39.9914431, -56.8934415,   -30.6593607};
    for (size_t i = 0; i < std::size(hz); ++i) {
        EXPECT_NEAR(magnitudeDb(d, hz[i]), refDb[i], 1e-6) << "at " << hz[i] << " Hz";
    }
}

TEST(EllipticDesign, odd_order_has_unity_gain_at_dc_even_order_the_ripple_floor) {
    const EllipticDesigner odd = designAt(100.0, 44100.0);
    ASSERT_EQ(odd.order, 3);
    EXPECT_NEAR(magnitudeDb(odd, 0.0), 0.0, 1e-9);
    EXPECT_NEAR(magnitudeDb(odd, 100.0), -0.3, 1e-6);
    EXPECT_NEAR(magnitudeDb(odd, 400.0), -30.0015880, 1e-5);
    EXPECT_EQ(odd.sectionCount(), 2);

    const EllipticDesigner even = designAt(1000.0, 44100.0);
    EXPECT_NEAR(magnitudeDb(even, 0.0), -0.3, 1e-9);
    EXPECT_EQ(even.sectionCount(), 2);
}

TEST(EllipticDesign, every_border_meets_order_ripple_and_attenuation_rules) {
    const std::vector<double> rates = {44100.0, 48000.0, 96000.0};
    const std::vector<double> borders = {10.0,   25.0,   100.0,   239.0,   1000.0, 2299.0,
                                         5000.0, 9000.0, 11025.0, 15000.0, 19000.0};
    for (double rate : rates) {
        for (double fp : borders) {
            if (fp >= 0.45 * rate) continue;
            const EllipticDesigner d = designAt(fp, rate);
            SCOPED_TRACE(::testing::Message() << "border " << fp << " Hz at " << rate << " Hz");
            EXPECT_LE(d.order, 4);
            EXPECT_GE(d.order, 1);
            // Passband: between the ripple floor and 0 dB.
            double passMax = -1e9;
            double passMin = 1e9;
            for (int i = 0; i <= 200; ++i) {
                const double db = magnitudeDb(d, fp * i / 200.0);
                passMax = std::max(passMax, db);
                passMin = std::min(passMin, db);
            }
            EXPECT_LE(passMax, 1e-9);
            EXPECT_NEAR(passMin, -0.3, 1e-6);
            // Stopband from the (widened) edge to half the sample rate.
            const double stopHz = d.stopbandEdgesHz[0];
            EXPECT_GE(stopHz, fp + kTransitionHz - 1e-9);
            double stopMax = -1e9;
            for (int i = 0; i <= 400 && stopHz < 0.5 * rate; ++i) {
                const double hz = stopHz + (0.5 * rate - stopHz) * i / 400.0;
                stopMax = std::max(stopMax, magnitudeDb(d, hz));
            }
            if (stopHz < 0.5 * rate) {
                EXPECT_LE(stopMax, -30.0 + 1e-6);
            }
        }
    }
}

TEST(EllipticDesign, close_edges_widen_the_transition_band_instead_of_raising_order) {
    EllipticDesigner d;
    // 5000 Hz with a 300 Hz transition needs order 7; the limit forces widening.
    ASSERT_TRUE(d.designLowPass(5000.0, 5300.0, 44100.0, kRippleDb, kAttenuationDb, 4));
    EXPECT_EQ(d.order, 4);
    EXPECT_GT(d.stopbandEdgesHz[0], 5300.0 * 1.1 - 1e-9);
    EXPECT_LE(magnitudeDb(d, d.stopbandEdgesHz[0]), -30.0 + 1e-6);
}

TEST(EllipticDesign, refused_design_request_keeps_previous_design) {
    EllipticDesigner d = designAt(1000.0, 44100.0);
    const std::complex<double> before = d.response(1200.0);
    EXPECT_FALSE(d.designLowPass(30000.0, 30300.0, 44100.0, kRippleDb, kAttenuationDb, 4));
    EXPECT_FALSE(d.designLowPass(std::nan(""), 1300.0, 44100.0, kRippleDb, kAttenuationDb, 4));
    EXPECT_FALSE(d.designLowPass(1000.0, 1000.05, 44100.0, kRippleDb, kAttenuationDb, 4));
    EXPECT_EQ(d.order, 4);
    EXPECT_NEAR(std::abs(d.response(1200.0) - before), 0.0, 1e-15);
}

TEST(EllipticDesign, record_holds_negative_ripple_and_attenuation_and_letters) {
    const EllipticDesigner d = designAt(1000.0, 44100.0);
    EXPECT_DOUBLE_EQ(d.passbandRippleDb, -0.3);
    EXPECT_DOUBLE_EQ(d.passbandRippleCopyDb, -0.3);
    EXPECT_DOUBLE_EQ(d.stopbandAttenuationDb, -30.0);
    EXPECT_DOUBLE_EQ(d.passbandEdgesHz[0], 1000.0);
    EXPECT_DOUBLE_EQ(d.passbandEdgesHz[1], 0.0);
    EXPECT_DOUBLE_EQ(d.stopbandEdgesHz[1], 0.0);
    EXPECT_EQ(d.bandType, 'L');
    EXPECT_EQ(d.family, 'E');
}

} // namespace
