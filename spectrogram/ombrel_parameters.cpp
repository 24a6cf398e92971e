#include "spectrogram/ombrel_parameters.h"

#include "runtime/audio_plugin.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace orq::spectrogram {

namespace {

const ParameterDef kOmbrelDefs[] = {
    {"BSGMax", kKindFloat, float(kFullBandRingRows), 0, 0, "BSGMax"},
    {"nFFT21", kKindFloat, float(kSpectrumBins), 0, 0, "nFFT21"},
    {"SG", kKindArray, 0.0f, kRingStorageRows* kSpectrumBins, int32_t(sizeof(float)), "SG"},
    {"BSGTrans", kKindFloat, 4.0f, 0, 0, "BSGTrans"},
    {"bSGDO", kKindFloat, 0.0f, 0, 0, "bSGDO"},
    {"bLog", kKindFloat, 0.0f, 0, 0, "bLog"},
    {"ch", kKindFloat, 1.0f, 0, 0, "ch"},
    {"nChs", kKindFloat, 2.0f, 0, 0, "nChs"},
    {"bFrq", kKindFloat, 1.0f, 0, 0, "bFrq"},
};
static_assert(std::size(kOmbrelDefs) == kOmbrelParamCount);

const ParameterTable kOmbrelTable{fourCC("Ombr"), "Orq Ombrel", kOmbrelDefs};

int32_t clampedSize(float value, int32_t maximum) {
    return std::clamp(settingValue(value), 0, maximum);
}

} // namespace

int32_t settingValue(float value) {
    if (!(std::fabs(value) < 2.0e9f)) return 0; // NaN and values beyond int32
    return static_cast<int32_t>(value);
}

const ParameterTable& ombrelParameterTable() {
    return kOmbrelTable;
}

// OmbrelParameters ------------------------------------------------------------------------

OmbrelParameters::OmbrelParameters() : TableParameterSet(kOmbrelTable) {}

ParameterSet* OmbrelParameters::clone() const {
    return new OmbrelParameters(*this);
}

int32_t OmbrelParameters::isPersisted(int32_t index) const {
    return index == kOmbrelLowBand || index == kOmbrelView || index == kOmbrelRunning ? 1 : 0;
}

int32_t OmbrelParameters::spectraCapacity() const {
    int32_t count = 0;
    arrayInfo(kOmbrelSpectra, &count, nullptr);
    return count / kSpectrumBins;
}

void OmbrelParameters::writeSpectraTo(ParameterInterface* store, int32_t rows) {
    if (store == iface()) return; // already there
    int32_t ownCount = 0, storeCount = 0, storeSize = 0;
    arrayInfo(kOmbrelSpectra, &ownCount, nullptr);
    if (store->arrayInfo(store, kOmbrelSpectra, &storeCount, &storeSize) != 0 ||
        storeSize != static_cast<int32_t>(sizeof(float))) {
        return;
    }
    const int32_t count = std::min({rows * kSpectrumBins, ownCount, storeCount});
    store->setArray(store, kOmbrelSpectra, arrayData(kOmbrelSpectra), std::max(count, 0));
    clearChanged(kOmbrelSpectra);
}

void OmbrelParameters::resizeSpectra() {
    const int32_t rows = static_cast<int32_t>(value(kOmbrelRingRows));
    const int32_t bins = static_cast<int32_t>(value(kOmbrelBins));
    int32_t count = 0;
    arrayInfo(kOmbrelSpectra, &count, nullptr);
    if (count != rows * bins) resizeArray(kOmbrelSpectra, rows * bins);
}

void OmbrelParameters::setFloat(int32_t index, float v) {
    if (index == kOmbrelRingRows || index == kOmbrelBins) {
        const int32_t maximum = index == kOmbrelRingRows ? kRingStorageRows : kSpectrumBins;
        const float size = static_cast<float>(clampedSize(v, maximum));
        const bool changed = size != value(index);
        TableParameterSet::setFloat(index, size);
        if (changed) resizeSpectra();
        return;
    }
    TableParameterSet::setFloat(index, v);
}

void OmbrelParameters::copyFrom(ParameterInterface* other) {
    TableParameterSet::copyFrom(other);
    // Whatever the other set held, the sizes stay within the ring and "SG" follows them.
    setValue(kOmbrelRingRows,
             static_cast<float>(clampedSize(value(kOmbrelRingRows), kRingStorageRows)));
    setValue(kOmbrelBins, static_cast<float>(clampedSize(value(kOmbrelBins), kSpectrumBins)));
    resizeSpectra();
}

} // namespace orq::spectrogram
