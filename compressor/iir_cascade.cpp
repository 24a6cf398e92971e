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

// Both signals' values at one frame, one per lane: each operation on a pair is the same IEEE
// double operation on each lane, so the results equal two scalar loops bit for bit while the
// processor does half the operations.
using DoublePair = double __attribute__((vector_size(2 * sizeof(double))));

// Two signals through the same sections, each with its own states.
template <int32_t Count>
void runSectionsPair(const float* in1, float* out1, const float* in2, float* out2, int32_t frames,
                     double gain, const BiquadCoefficients* c, double* s1a, double* s2a,
                     double* s1b, double* s2b, int32_t count) {
    const int32_t n = Count > 0 ? Count : count;
    DoublePair s1[IirCascade::kMaxSections], s2[IirCascade::kMaxSections];
    for (int32_t k = 0; k < n; ++k) {
        s1[k] = DoublePair{s1a[k], s1b[k]};
        s2[k] = DoublePair{s2a[k], s2b[k]};
    }
    for (int32_t i = 0; i < frames; ++i) {
        DoublePair v = gain * DoublePair{static_cast<double>(in1[i]), static_cast<double>(in2[i])};
        for (int32_t k = 0; k < n; ++k) {
            const DoublePair y = v + s1[k];
            s1[k] = c[k].b1 * v - c[k].a1 * y + s2[k];
            s2[k] = c[k].b2 * v - c[k].a2 * y;
            v = y;
        }
        out1[i] = static_cast<float>(v[0]);
        out2[i] = static_cast<float>(v[1]);
    }
    for (int32_t k = 0; k < n; ++k) {
        s1a[k] = s1[k][0];
        s2a[k] = s2[k][0];
        s1b[k] = s1[k][1];
        s2b[k] = s2[k][1];
    }
}

} // namespace

bool IirCascade::sameCoefficients(const IirCascade& other) const {
    if (inputGain_ != other.inputGain_ || sectionCount_ != other.sectionCount_) return false;
    for (int32_t k = 0; k < sectionCount_; ++k) {
        const BiquadCoefficients& x = sections_[k];
        const BiquadCoefficients& y = other.sections_[k];
        if (x.b1 != y.b1 || x.b2 != y.b2 || x.a1 != y.a1 || x.a2 != y.a2) return false;
    }
    return true;
}

void IirCascade::processPair(IirCascade& first, const float* in1, float* out1, IirCascade& second,
                             const float* in2, float* out2, int32_t frames) {
    if (!first.sameCoefficients(second)) {
        first.process(in1, out1, frames);
        second.process(in2, out2, frames);
        return;
    }
    const int32_t count = first.sectionCount_;
    double s1a[kMaxSections], s2a[kMaxSections], s1b[kMaxSections], s2b[kMaxSections];
    for (int32_t k = 0; k < count; ++k) {
        s1a[k] = first.states_[k].s1;
        s2a[k] = first.states_[k].s2;
        s1b[k] = second.states_[k].s1;
        s2b[k] = second.states_[k].s2;
    }
    const BiquadCoefficients* c = first.sections_.data();
    const double g = first.inputGain_;
    switch (count) {
    case 1:
        runSectionsPair<1>(in1, out1, in2, out2, frames, g, c, s1a, s2a, s1b, s2b, 1);
        break;
    case 2:
        runSectionsPair<2>(in1, out1, in2, out2, frames, g, c, s1a, s2a, s1b, s2b, 2);
        break;
    default:
        runSectionsPair<0>(in1, out1, in2, out2, frames, g, c, s1a, s2a, s1b, s2b, count);
        break;
    }
    for (int32_t k = 0; k < count; ++k) {
        first.states_[k] = {s1a[k], s2a[k]};
        second.states_[k] = {s1b[k], s2b[k]};
    }
}

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
