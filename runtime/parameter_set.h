// Parameter sets: indexed float and array parameters with changed flags and selection modes.
// They carry changes from an editor to an engine, meter values back, settings to a host's
// store, and the filter's persistent stream.
#pragma once

#include "runtime/plugin_boundary.h"

#include <cstdint>
#include <span>
#include <vector>

namespace orq {

// Abstract parameter set. Virtual operations in their slot order. Array counts are element
// counts. [ui-thread] for a plug-in's own set, every access happens under the plug-in's lock.
class ParameterSet {
  public:
    ParameterSet(int32_t count, uint32_t uniqueId, const char* name);
    virtual ~ParameterSet();
    ParameterSet(const ParameterSet&) = delete;
    ParameterSet& operator=(const ParameterSet&) = delete;

    virtual void release() = 0;
    virtual ParameterSet* clone() const = 0;
    virtual int32_t compatQuery3() { return 1; }
    // Copies the values of other, not the changed flags: every value from a set of this library
    // and of this plug-in, only the keyed parameters it names with the same key from any other.
    virtual void copyFrom(ParameterInterface* other) = 0;
    virtual int32_t isPersisted(int32_t index) const = 0;
    virtual int32_t compatSlot6(int32_t index) = 0;
    virtual const char* keyName(int32_t index) const = 0;
    virtual void getInfo(int32_t index, ParameterInfo* info) const = 0;
    // Reads clear the changed flag, writes set it (not in mode -5).
    virtual float getFloat(int32_t index);
    virtual void setFloat(int32_t index, float value);
    virtual void setArray(int32_t index, const void* source, int32_t count);
    virtual void getArray(int32_t index, void* destination, int32_t count);
    virtual int32_t arrayInfo(int32_t index, int32_t* count, int32_t* elementSize) const;

    bool isSelected(int32_t index) const;
    bool isSelectedForWrite(int32_t index) const;
    void setMode(int32_t mode) { mode_ = mode; }
    int32_t mode() const { return mode_; }

    int32_t count() const { return count_; }
    int32_t changedCount() const { return changedCount_; }
    bool isChanged(int32_t index) const;
    uint32_t uniqueId() const { return uniqueId_; }
    const char* name() const { return name_; }
    int32_t blockHint() const { return kRecordBlockHint; }
    ParameterInterface* iface() { return &interface_; }
    // The set behind an interface when it is one of this library's sets, else null: a foreign
    // record (a host's store, another library's set) is recognised by its functions, which are
    // not this library's, and its owner field is never read.
    static ParameterSet* fromInterface(ParameterInterface* i);
    static bool isOwnInterface(const ParameterInterface* i);
    // Whether other names parameter index with this set's key for it (keyed parameters only).
    bool namesSameKey(ParameterInterface* other, int32_t index) const;
    // Counts this set among the library's live parameter sets until it is deleted (sets
    // handed out by the creators and by clone through the interface).
    void countAsLive();

  protected:
    bool validIndex(int32_t index) const { return index >= 0 && index < count_; }
    void markChanged(int32_t index);
    void clearChanged(int32_t index);

  private:
    int32_t count_;
    int32_t mode_ = kModeAll;
    int32_t changedCount_ = 0;
    std::vector<int32_t> changed_;
    uint32_t uniqueId_;
    bool countedLive_ = false;
    char name_[33] = {};
    ParameterInterface interface_;
};

// One parameter of a plug-in's table: defined once as data, iterated by every wrapper.
struct ParameterDef {
    const char* key;      // persisted key name, or nullptr for unnamed (meters, commands)
    int32_t kind;         // kKindFloat (or 1, 5) for scalars, kKindArray for arrays
    float defaultValue;   // scalars; arrays of floats: every element (unless fillDefault)
    int32_t elementCount; // arrays: number of elements
    int32_t elementSize;  // arrays: bytes per element
    const char* label;    // description shown to hosts, or nullptr
    // arrays: writes the default elements (elementCount × elementSize bytes); nullptr fills
    // each float with defaultValue.
    void (*fillDefault)(void* elements) = nullptr;
};

struct ParameterTable {
    uint32_t uniqueId;
    const char* name;
    std::span<const ParameterDef> defs;
};

// A parameter set whose parameters come from a ParameterTable. Plug-ins with special storage
// (arrays whose size follows other parameters) derive from it.
class TableParameterSet : public ParameterSet {
  public:
    explicit TableParameterSet(const ParameterTable& table);
    TableParameterSet(const TableParameterSet& other);

    void release() override;
    ParameterSet* clone() const override;
    void copyFrom(ParameterInterface* other) override;
    int32_t isPersisted(int32_t index) const override;
    int32_t compatSlot6(int32_t) override { return 0; }
    const char* keyName(int32_t index) const override;
    void getInfo(int32_t index, ParameterInfo* info) const override;
    float getFloat(int32_t index) override;
    void setFloat(int32_t index, float value) override;
    void setArray(int32_t index, const void* source, int32_t count) override;
    void getArray(int32_t index, void* destination, int32_t count) override;
    int32_t arrayInfo(int32_t index, int32_t* count, int32_t* elementSize) const override;

    // Direct access without touching flags (for the owner's own bookkeeping).
    float value(int32_t index) const;
    void setValue(int32_t index, float value);
    const void* arrayData(int32_t index) const;
    void* arrayData(int32_t index);
    const ParameterTable& table() const { return table_; }
    // Index of the parameter with this key, or -1.
    int32_t indexOf(const char* key) const;
    // Restores every default value (flags untouched).
    void resetToDefaults();

  protected:
    // [ui-thread] allocates: gives an array parameter a new element count, zero-filled.
    void resizeArray(int32_t index, int32_t elementCount);

  private:
    const ParameterTable& table_;
    std::vector<float> scalars_;
    std::vector<std::vector<uint8_t>> arrays_;
    std::vector<int32_t> arrayCounts_;
};

// How a store reaches a plug-in's settings: a store that is one of this library's sets is used
// as it is; a foreign store is seen through a view that selects (for reading and for writing)
// only the parameters it names with the plug-in's own key for them, so another plug-in's set
// or a host's record that names nothing moves no values. Every call goes through the store's
// own functions. [ui-thread] no allocation; the view lives as long as the call that needs it.
class StoreView {
  public:
    StoreView(const ParameterSet& set, ParameterInterface* store);
    StoreView(const StoreView&) = delete;
    StoreView& operator=(const StoreView&) = delete;
    ParameterInterface* iface() { return store_ == nullptr || own_ ? store_ : &view_; }

  private:
    static StoreView& of(ParameterInterface* view);
    ParameterInterface view_; // first: the view's functions find the view from it
    ParameterInterface* store_;
    const ParameterSet* set_;
    bool own_;
};

// Copies, for the indices the store selects (isSelected), the store's values into set:
// scalars in index order, then arrays in the order given (all arrays in index order when empty).
void copySelectedFromStore(ParameterSet& set, ParameterInterface* store,
                           std::span<const int32_t> arrayOrder = {});
// Writes, for the indices the store selects for writing, set's values into the store and
// clears set's flags: scalars in index order, then arrays in the order given.
void writeSelectedToStore(ParameterSet& set, ParameterInterface* store,
                          std::span<const int32_t> arrayOrder = {});

// The filter's persistent stream: u32 version, then each persisted parameter in index order
// (float, or u32 count, u32 element size and the elements). The interface forms serve hosts
// that hold another library's set; count is the set's parameter count.
uint32_t streamSizeMax(ParameterInterface* set, int32_t count);
std::vector<uint8_t> saveParameterStream(ParameterInterface* set, int32_t count, uint32_t version);
// Refuses (false, nothing changed) a stream that ends early, whose array counts or sizes
// differ from the set's own, or that holds a scalar that is not finite; otherwise stores every value (flags set) and the version.
bool loadParameterStream(ParameterInterface* set, int32_t count, const uint8_t* data, size_t size,
                         uint32_t* version);
inline uint32_t streamSizeMax(ParameterSet& set) {
    return streamSizeMax(set.iface(), set.count());
}
inline std::vector<uint8_t> saveParameterStream(ParameterSet& set, uint32_t version) {
    return saveParameterStream(set.iface(), set.count(), version);
}
inline bool loadParameterStream(ParameterSet& set, const uint8_t* data, size_t size,
                                uint32_t* version) {
    return loadParameterStream(set.iface(), set.count(), data, size, version);
}

} // namespace orq
