// Shared helpers of the dsp tests: reference transforms in double precision, random signals and
// a fixture that silences and clears the library's error state.
#pragma once

#include "dsp/nsp.h"
#include "testsupport/test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <string>
#include <vector>

namespace orq::dsp::testing {

using Spectrum = std::vector<std::complex<double>>;

// Plain DFT, X[k] = sum x[n] e^(sign 2 pi i kn/N).
inline Spectrum plainDft(const Spectrum& x, int sign) {
    const size_t n = x.size();
    Spectrum out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (size_t t = 0; t < n; ++t) {
            const double angle = sign * 2.0 * std::numbers::pi * static_cast<double>((k * t) % n) /
                                 static_cast<double>(n);
            sum += x[t] * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

// The same transform by recursive halving in double precision, for lengths where the plain DFT
// would be too slow. Exact twiddles from std::polar; agrees with plainDft to ~1e-13.
inline Spectrum referenceDft(const Spectrum& x, int sign) {
    const size_t n = x.size();
    if (n <= 64) return plainDft(x, sign);
    Spectrum even(n / 2), odd(n / 2);
    for (size_t t = 0; t < n / 2; ++t) {
        even[t] = x[2 * t];
        odd[t] = x[2 * t + 1];
    }
    const Spectrum e = referenceDft(even, sign);
    const Spectrum o = referenceDft(odd, sign);
    Spectrum out(n);
    for (size_t k = 0; k < n / 2; ++k) {
        const auto w = std::polar(1.0, sign * 2.0 * std::numbers::pi * static_cast<double>(k) /
                                           static_cast<double>(n));
        out[k] = e[k] + w * o[k];
        out[k + n / 2] = e[k] - w * o[k];
    }
    return out;
}

inline Spectrum realToComplex(const std::vector<float>& x, size_t n) {
    Spectrum out(n);
    for (size_t t = 0; t < n; ++t)
        out[t] = x[t];
    return out;
}

inline std::vector<float> randomSignal(size_t n, unsigned seed) {
    return test::whiteNoise(n, seed);
}

// Largest |a - b| over the first count values relative to the largest |b|.
template <class A, class B> double relativeError(const A& a, const B& b, size_t count) {
    double worst = 0.0, scale = 0.0;
    for (size_t i = 0; i < count; ++i) {
        worst = std::max(worst, std::abs(static_cast<double>(a[i]) - static_cast<double>(b[i])));
        scale = std::max(scale, std::abs(static_cast<double>(b[i])));
    }
    return scale > 0.0 ? worst / scale : worst;
}

// Reports go to the silent handler and the status starts and ends cleared.
class QuietErrors : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = nspRedirectError(nspNulDevReport);
        nspSetErrStatus(NSP_StsOk);
    }
    void TearDown() override {
        nspSetErrStatus(NSP_StsOk);
        nspRedirectError(previous_);
    }
    NSPErrorCallBack previous_ = nullptr;
};

} // namespace orq::dsp::testing

namespace orq::dsp::testing {

// One report received by RecordingHandler.
struct ReportRecord {
    NSPStatus status;
    std::string funcName;
    std::string context;
};

// Collects reports instead of showing them (single-threaded tests only).
class RecordingErrors : public ::testing::Test {
  protected:
    static std::vector<ReportRecord>& records() {
        static std::vector<ReportRecord> all;
        return all;
    }
    static NSPStatus record(NSPStatus status, const char* funcName, const char* context,
                            const char*, int) {
        records().push_back({status, funcName ? funcName : "", context ? context : ""});
        return status;
    }
    void SetUp() override {
        records().clear();
        previous_ = nspRedirectError(record);
        nspSetErrStatus(NSP_StsOk);
    }
    void TearDown() override {
        nspSetErrStatus(NSP_StsOk);
        nspRedirectError(previous_);
    }
    NSPErrorCallBack previous_ = nullptr;
};

} // namespace orq::dsp::testing
