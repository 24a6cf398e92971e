#include "runtime/parameter_set.h"

#include "runtime/live_objects.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace orq {

namespace {

// The plain interface forwards to the owning set. Every entry catches what the set throws and
// answers its failure value; a self that is not one of this library's sets gets the same answer
// (its owner is never followed).
template <class Result, class Body>
Result forward(ParameterInterface* i, Result failure, Body&& body) noexcept {
    return answerOrFailure(failure, [&]() -> Result {
        ParameterSet* set = ParameterSet::fromInterface(i);
        return set != nullptr ? body(*set) : failure;
    });
}
template <class Body> void forwardVoid(ParameterInterface* i, Body&& body) noexcept {
    runOrStop([&] {
        if (ParameterSet* set = ParameterSet::fromInterface(i)) body(*set);
    });
}

void interfaceRelease(ParameterInterface* i) {
    forwardVoid(i, [](ParameterSet& s) { s.release(); });
}
ParameterInterface* interfaceClone(ParameterInterface* i) {
    return forward(i, static_cast<ParameterInterface*>(nullptr),
                   [](ParameterSet& s) -> ParameterInterface* {
                       ParameterSet* copy = s.clone();
                       if (copy == nullptr) return nullptr;
                       copy->countAsLive();
                       return copy->iface();
                   });
}
int32_t interfaceCompatQuery3(ParameterInterface* i) {
    return forward(i, 0, [](ParameterSet& s) { return s.compatQuery3(); });
}
void interfaceCopyFrom(ParameterInterface* i, ParameterInterface* other) {
    forwardVoid(i, [&](ParameterSet& s) { s.copyFrom(other); });
}
int32_t interfaceIsPersisted(ParameterInterface* i, int32_t index) {
    return forward(i, 0, [&](ParameterSet& s) { return s.isPersisted(index); });
}
const char* interfaceKeyName(ParameterInterface* i, int32_t index) {
    return forward(i, static_cast<const char*>(nullptr),
                   [&](ParameterSet& s) { return s.keyName(index); });
}
int32_t interfaceCompatSlot6(ParameterInterface* i, int32_t index) {
    return forward(i, 0, [&](ParameterSet& s) { return s.compatSlot6(index); });
}
void interfaceGetInfo(ParameterInterface* i, int32_t index, ParameterInfo* info) {
    forwardVoid(i, [&](ParameterSet& s) { s.getInfo(index, info); });
}
float interfaceGetFloat(ParameterInterface* i, int32_t index) {
    return forward(i, 0.0f, [&](ParameterSet& s) { return s.getFloat(index); });
}
void interfaceSetFloat(ParameterInterface* i, int32_t index, float value) {
    forwardVoid(i, [&](ParameterSet& s) { s.setFloat(index, value); });
}
void interfaceSetArray(ParameterInterface* i, int32_t index, const void* source, int32_t count) {
    forwardVoid(i, [&](ParameterSet& s) { s.setArray(index, source, count); });
}
void interfaceGetArray(ParameterInterface* i, int32_t index, void* destination, int32_t count) {
    forwardVoid(i, [&](ParameterSet& s) { s.getArray(index, destination, count); });
}
int32_t interfaceArrayInfo(ParameterInterface* i, int32_t index, int32_t* count, int32_t* size) {
    return forward(i, -1, [&](ParameterSet& s) { return s.arrayInfo(index, count, size); });
}
int32_t interfaceIsSelected(ParameterInterface* i, int32_t index) {
    return forward(i, 0, [&](ParameterSet& s) { return int32_t(s.isSelected(index)); });
}
int32_t interfaceIsSelectedForWrite(ParameterInterface* i, int32_t index) {
    return forward(i, 0, [&](ParameterSet& s) { return int32_t(s.isSelectedForWrite(index)); });
}
void interfaceSetMode(ParameterInterface* i, int32_t mode) {
    forwardVoid(i, [&](ParameterSet& s) { s.setMode(mode); });
}
int32_t interfaceGetMode(ParameterInterface* i) {
    return forward(i, kModeAll, [](ParameterSet& s) { return s.mode(); });
}

const ParameterInterface kInterfaceTemplate = {
    interfaceRelease,     interfaceClone,       interfaceCompatQuery3,
    interfaceCopyFrom,    interfaceIsPersisted, interfaceKeyName,
    interfaceCompatSlot6, interfaceGetInfo,     interfaceGetFloat,
    interfaceSetFloat,    interfaceSetArray,    interfaceGetArray,
    interfaceArrayInfo,   interfaceIsSelected,  interfaceIsSelectedForWrite,
    interfaceSetMode,     interfaceGetMode,     nullptr,
};

} // namespace

bool ParameterSet::isOwnInterface(const ParameterInterface* i) {
    // The functions are this library's own thunks exactly when this library built the record.
    return i != nullptr &&
           std::memcmp(i, &kInterfaceTemplate, offsetof(ParameterInterface, owner)) == 0 &&
           i->owner != nullptr;
}

ParameterSet* ParameterSet::fromInterface(ParameterInterface* i) {
    return isOwnInterface(i) ? i->owner : nullptr;
}

// ParameterSet -------------------------------------------------------------------------------

ParameterSet::ParameterSet(int32_t count, uint32_t uniqueId, const char* name)
    : count_(count), changed_(size_t(std::max(count, 0)), 0), uniqueId_(uniqueId),
      interface_(kInterfaceTemplate) {
    interface_.owner = this;
    if (name != nullptr) std::strncpy(name_, name, 32);
}

ParameterSet::~ParameterSet() {
    if (countedLive_) objectDestroyed(LiveKind::ParameterSet);
}

void ParameterSet::countAsLive() {
    if (countedLive_) return;
    countedLive_ = true;
    objectCreated(LiveKind::ParameterSet);
}

float ParameterSet::getFloat(int32_t index) {
    clearChanged(index);
    return 0.0f;
}
void ParameterSet::setFloat(int32_t index, float) {
    markChanged(index);
}
void ParameterSet::setArray(int32_t, const void*, int32_t) {}
void ParameterSet::getArray(int32_t, void*, int32_t) {}
int32_t ParameterSet::arrayInfo(int32_t, int32_t*, int32_t*) const {
    return -1;
}

bool ParameterSet::isChanged(int32_t index) const {
    return validIndex(index) && changed_[size_t(index)] != 0;
}

void ParameterSet::markChanged(int32_t index) {
    if (!validIndex(index) || mode_ == kModeFrozen) return;
    if (changed_[size_t(index)] == 0) ++changedCount_;
    changed_[size_t(index)] = 1;
}

void ParameterSet::clearChanged(int32_t index) {
    if (!validIndex(index) || mode_ == kModeFrozen) return;
    if (changed_[size_t(index)] != 0 && changedCount_ > 0) --changedCount_;
    changed_[size_t(index)] = 0;
}

bool ParameterSet::isSelected(int32_t index) const {
    if (!validIndex(index)) return false;
    switch (mode_) {
    case kModeAll:
        return true;
    case kModeChanged:
    case kModeFrozen:
        return changed_[size_t(index)] != 0;
    case kModePersisted:
        return isPersisted(index) != 0;
    case kModeUnnamed:
        return isPersisted(index) == 0;
    default:
        return mode_ == index;
    }
}

bool ParameterSet::isSelectedForWrite(int32_t index) const {
    if (!validIndex(index)) return false;
    switch (mode_) {
    case kModeAll:
        return true;
    case kModeChanged:
    case kModeFrozen:
        return changed_[size_t(index)] == 0;
    case kModePersisted:
        return isPersisted(index) != 0;
    case kModeUnnamed:
        return isPersisted(index) == 0;
    default:
        return mode_ == index;
    }
}

// TableParameterSet ------------------------------------------------------------------------------

TableParameterSet::TableParameterSet(const ParameterTable& table)
    : ParameterSet(int32_t(table.defs.size()), table.uniqueId, table.name), table_(table),
      scalars_(table.defs.size(), 0.0f), arrays_(table.defs.size()),
      arrayCounts_(table.defs.size(), 0) {
    for (size_t i = 0; i < table.defs.size(); ++i) {
        const ParameterDef& d = table.defs[i];
        if (d.kind == kKindArray) {
            arrayCounts_[i] = d.elementCount;
            arrays_[i].assign(size_t(d.elementCount) * size_t(d.elementSize), 0);
        }
    }
    resetToDefaults();
}

TableParameterSet::TableParameterSet(const TableParameterSet& other)
    : ParameterSet(other.count(), other.uniqueId(), other.name()), table_(other.table_),
      scalars_(other.scalars_), arrays_(other.arrays_), arrayCounts_(other.arrayCounts_) {}

void TableParameterSet::resetToDefaults() {
    for (size_t i = 0; i < table_.defs.size(); ++i) {
        const ParameterDef& d = table_.defs[i];
        if (d.kind != kKindArray) {
            scalars_[i] = d.defaultValue;
            continue;
        }
        std::vector<uint8_t>& bytes = arrays_[i];
        if (arrayCounts_[i] != d.elementCount) {
            arrayCounts_[i] = d.elementCount;
            bytes.assign(size_t(d.elementCount) * size_t(d.elementSize), 0);
        }
        if (d.fillDefault != nullptr) {
            d.fillDefault(bytes.data());
        } else if (d.elementSize == int32_t(sizeof(float))) {
            for (int32_t e = 0; e < d.elementCount; ++e)
                std::memcpy(bytes.data() + size_t(e) * sizeof(float), &d.defaultValue,
                            sizeof(float));
        }
    }
}

void TableParameterSet::release() {
    delete this;
}

ParameterSet* TableParameterSet::clone() const {
    return new TableParameterSet(*this);
}

void TableParameterSet::copyFrom(ParameterInterface* other) {
    if (other == nullptr || other == iface()) return;
    // A set of this library and of this plug-in gives every value; any other set (a foreign
    // one, or this library's set of another kind) gives only what it names with the same key.
    const ParameterSet* same = fromInterface(other);
    const bool sameKind =
        same != nullptr && same->uniqueId() == uniqueId() && same->count() == count();
    // Read through the interface without disturbing the other set's flags or mode.
    const int32_t savedMode = other->getMode(other);
    other->setMode(other, kModeFrozen);
    for (int32_t i = 0; i < count(); ++i) {
        if (!sameKind && !namesSameKey(other, i)) continue;
        const ParameterDef& def = table_.defs[size_t(i)];
        int32_t n = 0, size = 0;
        const bool otherIsArray = other->arrayInfo(other, i, &n, &size) == 0;
        if (def.kind != kKindArray) {
            if (sameKind || !otherIsArray) scalars_[size_t(i)] = other->getFloat(other, i);
            continue;
        }
        if (!otherIsArray || size != def.elementSize) continue;
        if (n != arrayCounts_[size_t(i)]) {
            // Only a set of this plug-in may change an array's length (its sizes follow other
            // parameters of the same set).
            if (!sameKind || n < 0) continue;
            resizeArray(i, n);
        }
        other->getArray(other, i, arrays_[size_t(i)].data(), arrayCounts_[size_t(i)]);
    }
    other->setMode(other, savedMode);
}

bool ParameterSet::namesSameKey(ParameterInterface* other, int32_t index) const {
    const char* mine = keyName(index);
    if (mine == nullptr || other == nullptr) return false;
    const char* theirs = other->keyName(other, index);
    return theirs != nullptr && std::strcmp(mine, theirs) == 0;
}

int32_t TableParameterSet::isPersisted(int32_t index) const {
    return validIndex(index) && table_.defs[size_t(index)].key != nullptr ? 1 : 0;
}

const char* TableParameterSet::keyName(int32_t index) const {
    return validIndex(index) ? table_.defs[size_t(index)].key : nullptr;
}

void TableParameterSet::getInfo(int32_t index, ParameterInfo* info) const {
    if (info == nullptr) return;
    *info = ParameterInfo{kKindFloat, -1.0f, 1.0f, 0.1f, {}, 1};
    if (validIndex(index)) info->kind = table_.defs[size_t(index)].kind;
}

float TableParameterSet::getFloat(int32_t index) {
    if (!validIndex(index)) return 0.0f;
    ParameterSet::getFloat(index);
    return table_.defs[size_t(index)].kind == kKindArray ? 0.0f : scalars_[size_t(index)];
}

void TableParameterSet::setFloat(int32_t index, float v) {
    if (!validIndex(index) || table_.defs[size_t(index)].kind == kKindArray) return;
    scalars_[size_t(index)] = v;
    ParameterSet::setFloat(index, v);
}

void TableParameterSet::setArray(int32_t index, const void* source, int32_t n) {
    if (!validIndex(index) || table_.defs[size_t(index)].kind != kKindArray || source == nullptr)
        return;
    const int32_t copied = std::clamp(n, 0, arrayCounts_[size_t(index)]);
    std::memcpy(arrays_[size_t(index)].data(), source,
                size_t(copied) * size_t(table_.defs[size_t(index)].elementSize));
    markChanged(index);
}

void TableParameterSet::getArray(int32_t index, void* destination, int32_t n) {
    if (!validIndex(index) || table_.defs[size_t(index)].kind != kKindArray ||
        destination == nullptr)
        return;
    const int32_t copied = std::clamp(n, 0, arrayCounts_[size_t(index)]);
    std::memcpy(destination, arrays_[size_t(index)].data(),
                size_t(copied) * size_t(table_.defs[size_t(index)].elementSize));
    clearChanged(index);
}

int32_t TableParameterSet::arrayInfo(int32_t index, int32_t* n, int32_t* elementSize) const {
    if (!validIndex(index) || table_.defs[size_t(index)].kind != kKindArray) return -1;
    if (n != nullptr) *n = arrayCounts_[size_t(index)];
    if (elementSize != nullptr) *elementSize = table_.defs[size_t(index)].elementSize;
    return 0;
}

float TableParameterSet::value(int32_t index) const {
    return validIndex(index) ? scalars_[size_t(index)] : 0.0f;
}

void TableParameterSet::setValue(int32_t index, float v) {
    if (validIndex(index)) scalars_[size_t(index)] = v;
}

const void* TableParameterSet::arrayData(int32_t index) const {
    return validIndex(index) ? arrays_[size_t(index)].data() : nullptr;
}

void* TableParameterSet::arrayData(int32_t index) {
    return validIndex(index) ? arrays_[size_t(index)].data() : nullptr;
}

int32_t TableParameterSet::indexOf(const char* key) const {
    if (key == nullptr) return -1;
    for (int32_t i = 0; i < count(); ++i) {
        const char* k = table_.defs[size_t(i)].key;
        if (k != nullptr && std::strcmp(k, key) == 0) return i;
    }
    return -1;
}

void TableParameterSet::resizeArray(int32_t index, int32_t elementCount) {
    if (!validIndex(index) || table_.defs[size_t(index)].kind != kKindArray || elementCount < 0)
        return;
    arrayCounts_[size_t(index)] = elementCount;
    arrays_[size_t(index)].assign(
        size_t(elementCount) * size_t(table_.defs[size_t(index)].elementSize), 0);
}

// Store view
// ---------------------------------------------------------------------------------------

StoreView& StoreView::of(ParameterInterface* view) {
    static_assert(std::is_standard_layout_v<StoreView>);
    return *reinterpret_cast<StoreView*>(view);
}

StoreView::StoreView(const ParameterSet& set, ParameterInterface* store)
    : view_{}, store_(store), set_(&set), own_(ParameterSet::isOwnInterface(store)) {
    view_.release = [](ParameterInterface* v) {
        ParameterInterface* s = of(v).store_;
        s->release(s);
    };
    view_.clone = [](ParameterInterface* v) {
        ParameterInterface* s = of(v).store_;
        return s->clone(s);
    };
    view_.compatQuery3 = [](ParameterInterface* v) {
        ParameterInterface* s = of(v).store_;
        return s->compatQuery3(s);
    };
    view_.copyFrom = [](ParameterInterface* v, ParameterInterface* other) {
        ParameterInterface* s = of(v).store_;
        s->copyFrom(s, other);
    };
    view_.isPersisted = [](ParameterInterface* v, int32_t index) {
        ParameterInterface* s = of(v).store_;
        return s->isPersisted(s, index);
    };
    view_.keyName = [](ParameterInterface* v, int32_t index) {
        ParameterInterface* s = of(v).store_;
        return s->keyName(s, index);
    };
    view_.compatSlot6 = [](ParameterInterface* v, int32_t index) {
        ParameterInterface* s = of(v).store_;
        return s->compatSlot6(s, index);
    };
    view_.getInfo = [](ParameterInterface* v, int32_t index, ParameterInfo* info) {
        ParameterInterface* s = of(v).store_;
        s->getInfo(s, index, info);
    };
    view_.getFloat = [](ParameterInterface* v, int32_t index) {
        ParameterInterface* s = of(v).store_;
        return s->getFloat(s, index);
    };
    view_.setFloat = [](ParameterInterface* v, int32_t index, float value) {
        ParameterInterface* s = of(v).store_;
        s->setFloat(s, index, value);
    };
    view_.setArray = [](ParameterInterface* v, int32_t index, const void* source, int32_t count) {
        ParameterInterface* s = of(v).store_;
        s->setArray(s, index, source, count);
    };
    view_.getArray = [](ParameterInterface* v, int32_t index, void* destination, int32_t count) {
        ParameterInterface* s = of(v).store_;
        s->getArray(s, index, destination, count);
    };
    view_.arrayInfo = [](ParameterInterface* v, int32_t index, int32_t* count, int32_t* size) {
        ParameterInterface* s = of(v).store_;
        return s->arrayInfo(s, index, count, size);
    };
    view_.isSelected = [](ParameterInterface* v, int32_t index) {
        StoreView& view = of(v);
        ParameterInterface* s = view.store_;
        return int32_t(s->isSelected(s, index) != 0 && view.set_->namesSameKey(s, index));
    };
    view_.isSelectedForWrite = [](ParameterInterface* v, int32_t index) {
        StoreView& view = of(v);
        ParameterInterface* s = view.store_;
        return int32_t(s->isSelectedForWrite(s, index) != 0 && view.set_->namesSameKey(s, index));
    };
    view_.setMode = [](ParameterInterface* v, int32_t mode) {
        ParameterInterface* s = of(v).store_;
        s->setMode(s, mode);
    };
    view_.getMode = [](ParameterInterface* v) {
        ParameterInterface* s = of(v).store_;
        return s->getMode(s);
    };
    view_.owner = nullptr;
}

// Store transfers ---------------------------------------------------------------------------------

namespace {

std::vector<int32_t> arrayIndices(ParameterSet& set, std::span<const int32_t> order) {
    if (!order.empty()) return {order.begin(), order.end()};
    std::vector<int32_t> all;
    for (int32_t i = 0; i < set.count(); ++i)
        if (set.arrayInfo(i, nullptr, nullptr) == 0) all.push_back(i);
    return all;
}

// Copies an array parameter from one interface to another through a scratch buffer of the
// destination's own size.
void transferArray(ParameterInterface* from, ParameterInterface* to, int32_t index) {
    int32_t n = 0, size = 0, fromN = 0, fromSize = 0;
    if (to->arrayInfo(to, index, &n, &size) != 0 || n <= 0 || size <= 0) return;
    if (from->arrayInfo(from, index, &fromN, &fromSize) != 0 || fromSize != size) return;
    const int32_t moved = std::min(n, fromN);
    std::vector<uint8_t> scratch(size_t(n) * size_t(size), 0);
    to->getArray(to, index, scratch.data(), n); // keep the tail the source does not cover
    from->getArray(from, index, scratch.data(), moved);
    to->setArray(to, index, scratch.data(), n);
}

} // namespace

void copySelectedFromStore(ParameterSet& set, ParameterInterface* store,
                           std::span<const int32_t> arrayOrder) {
    if (store == nullptr) return;
    ParameterInterface* own = set.iface();
    for (int32_t i = 0; i < set.count(); ++i) {
        if (set.arrayInfo(i, nullptr, nullptr) == 0) continue;
        if (store->isSelected(store, i)) set.setFloat(i, store->getFloat(store, i));
    }
    for (int32_t i : arrayIndices(set, arrayOrder))
        if (store->isSelected(store, i)) transferArray(store, own, i);
}

void writeSelectedToStore(ParameterSet& set, ParameterInterface* store,
                          std::span<const int32_t> arrayOrder) {
    if (store == nullptr) return;
    ParameterInterface* own = set.iface();
    for (int32_t i = 0; i < set.count(); ++i) {
        if (set.arrayInfo(i, nullptr, nullptr) == 0) continue;
        if (store->isSelectedForWrite(store, i)) store->setFloat(store, i, set.getFloat(i));
    }
    for (int32_t i : arrayIndices(set, arrayOrder))
        if (store->isSelectedForWrite(store, i)) transferArray(own, store, i);
}

// Persistent stream
// --------------------------------------------------------------------------------

namespace {
void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int b = 0; b < 4; ++b)
        out.push_back(uint8_t(v >> (8 * b)));
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
bool isArray(ParameterInterface* set, int32_t i, int32_t* n, int32_t* elementSize) {
    return set->arrayInfo(set, i, n, elementSize) == 0;
}
} // namespace

uint32_t streamSizeMax(ParameterInterface* set, int32_t count) {
    uint32_t size = sizeof(uint32_t);
    for (int32_t i = 0; i < count; ++i) {
        if (!set->isPersisted(set, i)) continue;
        int32_t n = 0, elementSize = 0;
        if (isArray(set, i, &n, &elementSize))
            size += 2 * sizeof(uint32_t) + uint32_t(n) * uint32_t(elementSize);
        else
            size += sizeof(float);
    }
    return size;
}

std::vector<uint8_t> saveParameterStream(ParameterInterface* set, int32_t count, uint32_t version) {
    std::vector<uint8_t> out;
    out.reserve(streamSizeMax(set, count));
    put32(out, version);
    const int32_t savedMode = set->getMode(set);
    set->setMode(set, kModeFrozen); // reading for the stream leaves the flags alone
    for (int32_t i = 0; i < count; ++i) {
        if (!set->isPersisted(set, i)) continue;
        int32_t n = 0, elementSize = 0;
        if (isArray(set, i, &n, &elementSize)) {
            put32(out, uint32_t(n));
            put32(out, uint32_t(elementSize));
            const size_t at = out.size();
            out.resize(at + size_t(n) * size_t(elementSize));
            set->getArray(set, i, out.data() + at, n);
        } else {
            float v = set->getFloat(set, i);
            uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            put32(out, bits);
        }
    }
    set->setMode(set, savedMode);
    return out;
}

bool loadParameterStream(ParameterInterface* set, int32_t count, const uint8_t* data, size_t size,
                         uint32_t* version) {
    if (data == nullptr || size < sizeof(uint32_t)) return false;
    // First pass: check the whole stream against the set's own layout.
    size_t at = sizeof(uint32_t);
    for (int32_t i = 0; i < count; ++i) {
        if (!set->isPersisted(set, i)) continue;
        int32_t n = 0, elementSize = 0;
        if (isArray(set, i, &n, &elementSize)) {
            if (size - at < 8) return false;
            if (get32(data + at) != uint32_t(n) || get32(data + at + 4) != uint32_t(elementSize))
                return false;
            at += 8;
            const size_t bytes = size_t(n) * size_t(elementSize);
            if (size - at < bytes) return false;
            at += bytes;
        } else {
            if (size - at < 4) return false;
            // Engines take a scalar as it stands: not a number or an infinity would reach them.
            float v;
            const uint32_t bits = get32(data + at);
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isfinite(v)) return false;
            at += 4;
        }
    }
    // Second pass: store the values.
    if (version != nullptr) *version = get32(data);
    at = sizeof(uint32_t);
    for (int32_t i = 0; i < count; ++i) {
        if (!set->isPersisted(set, i)) continue;
        int32_t n = 0, elementSize = 0;
        if (isArray(set, i, &n, &elementSize)) {
            at += 8;
            set->setArray(set, i, data + at, n);
            at += size_t(n) * size_t(elementSize);
        } else {
            uint32_t bits = get32(data + at);
            float v;
            std::memcpy(&v, &bits, sizeof v);
            set->setFloat(set, i, v);
            at += 4;
        }
    }
    return true;
}

} // namespace orq
