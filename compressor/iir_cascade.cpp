#include "compressor/iir_cascade.h"

#include <algorithm>

namespace orq::compressor {

namespace {

bool isTrivial(const BiquadCoefficients& c) {
    return c.b1 == 0.0 && c.b2 == 0.0 && c.a1 == 0.0 && c.a2 == 0.0;
}

// Runs sections [0, count) over one buffer; Count > 0 lets the compiler unroll the common
// orders.
template <int32_t Count>
void runSections(const float* in, float* out, int32_t frames, double gain,
                 const BiquadCoefficients* c, double* s1, double* s2, int32_t count) {
    const int32_t n = Count > 0 ? Count : count;
    double a[IirCascade::kMaxSections];
    double b[IirCascade::kMaxSections];
    for (int32_t k = 0; k < n; ++k) {
        a[k] = s1[k];
        b[k] = s2[k];
    }
    for (int32_t i = 0; i < frames; ++i) {
        double v = gain * static_cast<double>(in[i]);
        for (int32_t k = 0; k < n; ++k) {
            const double y = v + a[k];
            a[k] = c[k].b1 * v - c[k].a1 * y + b[k];
            b[k] = c[k].b2 * v - c[k].a2 * y;
            v = y;
        }
        out[i] = static_cast<float>(v);
    }
    for (int32_t k = 0; k < n; ++k) {
        s1[k] = a[k];
        s2[k] = b[k];
    }
}

} // namespace

void IirCascade::setCoefficients(double inputGain, std::span<const BiquadCoefficients> sections) {
    inputGain_ = inputGain;
    // States follow their section position, so an unchanged layout keeps its history.
    int32_t count = 0;
    for (const BiquadCoefficients& c : sections) {
        if (count == kMaxSections) break;
        if (isTrivial(c)) continue;
        sections_[count++] = c;
    }
    for (int32_t k = count; k < kMaxSections; ++k)
        states_[k] = {};
    sectionCount_ = count;
}

void IirCascade::setDesign(const EllipticDesigner& designer) {
    std::array<BiquadCoefficients, kMaxSections> sections{};
    const int32_t count = std::min(designer.sectionCount(), kMaxSections);
    for (int32_t k = 0; k < count; ++k)
        sections[k] = designer.section(k);
    setCoefficients(designer.overallGain, std::span(sections.data(), count));
}

void IirCascade::process(const float* in, float* out, int32_t frames) {
    double s1[kMaxSections];
    double s2[kMaxSections];
    for (int32_t k = 0; k < sectionCount_; ++k) {
        s1[k] = states_[k].s1;
        s2[k] = states_[k].s2;
    }
    switch (sectionCount_) {
    case 1:
        runSections<1>(in, out, frames, inputGain_, sections_.data(), s1, s2, 1);
        break;
    case 2:
        runSections<2>(in, out, frames, inputGain_, sections_.data(), s1, s2, 2);
        break;
    default:
        runSections<0>(in, out, frames, inputGain_, sections_.data(), s1, s2, sectionCount_);
        break;
    }
    for (int32_t k = 0; k < sectionCount_; ++k) {
        states_[k].s1 = s1[k];
        states_[k].s2 = s2[k];
    }
}

void IirCascade::reset() {
    states_.fill({});
}

} // namespace orq::compressor
