#include "matching/own_fft.h"

#include "dsp/nsp.h"

#include <algorithm>

namespace orq::tessaline {

namespace {
int32_t log2Of(int32_t n) {
    int32_t k = 0;
    while ((int32_t(1) << (k + 1)) <= n)
        ++k;
    return k;
}
} // namespace

OwnRealFft::OwnRealFft(int32_t n)
    : n_(n), order_(log2Of(n)), x_(size_t(n + 2), 0.0f), y_(size_t(n + 2), 0.0f) {}

void OwnRealFft::forward(float* buffer) {
    const int32_t half = n_ / 2;
    std::copy(buffer, buffer + n_, x_.begin());
    std::fill(y_.begin(), y_.end(), 0.0f);
    nspsReal2Fft(x_.data(), y_.data(), order_, NSP_Forw);
    buffer[0] = x_[0];
    for (int32_t k = 1; k < half; ++k) {
        buffer[k] = x_[size_t(2 * k)];
        buffer[n_ - k] = x_[size_t(2 * k + 1)];
    }
    buffer[half] = x_[size_t(2 * half)];
}

void OwnRealFft::inverse(float* buffer) {
    const int32_t half = n_ / 2;
    std::fill(x_.begin(), x_.end(), 0.0f);
    std::fill(y_.begin(), y_.end(), 0.0f);
    x_[0] = buffer[0];
    for (int32_t k = 1; k < half; ++k) {
        x_[size_t(2 * k)] = buffer[k];
        x_[size_t(2 * k + 1)] = buffer[n_ - k];
    }
    x_[size_t(2 * half)] = buffer[half];
    nspsCcs2Fft(x_.data(), y_.data(), order_, NSP_Inv | NSP_NoScale);
    std::copy(x_.begin(), x_.begin() + n_, buffer);
}

} // namespace orq::tessaline
