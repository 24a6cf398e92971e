// A small LV2 host on lilv for the bundle's tests: loads build/tarvelle.lv2, instantiates a
// plug-in, sets control ports by symbol, runs stereo blocks, saves and restores state.
#pragma once

#include <lilv/lilv.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orq::lv2::test {

// Symbol-to-number map handed to plug-ins as urid:map.
class UridMap {
  public:
    UridMap();
    const LV2_Feature* feature() const { return &feature_; }
    uint32_t map(const char* uri);

  private:
    std::map<std::string, uint32_t> ids_;
    LV2_URID_Map map_;
    LV2_Feature feature_;
};

class World {
  public:
    // Loads the bundle at bundlePath (a folder) and the LV2 schema bundles Debian installs.
    explicit World(const std::string& bundlePath);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    LilvWorld* world() { return world_; }
    const LilvPlugin* plugin(const std::string& uri);
    UridMap& urids() { return urids_; }
    // The presets that apply to the plug-in: (URI, label) sorted by URI (lilv hands them out in
    // no particular order).
    std::vector<std::pair<std::string, std::string>> presets(const std::string& pluginUri);
    // A preset's state (port values and properties); the caller frees it.
    LilvState* presetState(const std::string& presetUri);

  private:
    LilvWorld* world_;
    UridMap urids_;
};

class Instance {
  public:
    Instance(World& world, const std::string& uri, double sampleRate = 44100.0);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void set(const std::string& symbol, float value);
    float get(const std::string& symbol) const;
    bool hasPort(const std::string& symbol) const;
    // Runs left/right through the plug-in in blocks of blockFrames; returns the output (a mono
    // variant runs the left channel and its output is on both sides).
    std::vector<float> run(const std::vector<float>& interleaved, int32_t blockFrames = 512);
    // Connects the atom output port symbol with a buffer of capacityBytes (its sequence's room):
    // from then on every run keeps the rows the port's sequences carry, in order.
    void collectRows(const std::string& symbol, size_t capacityBytes);
    struct Row {
        int64_t frame;             // within the block it came in
        size_t block;              // the block's number in its run
        std::vector<float> values; // the atom:Vector's floats
    };
    const std::vector<Row>& rows() const { return rows_; }
    void clearRows() { rows_.clear(); }
    LilvState* saveState();
    // withPorts: the state's port values too, as hosts restore them.
    void restoreState(const LilvState* state, bool withPorts);
    void activate();
    void deactivate();
    LilvInstance* instance() { return instance_; }
    const LilvPlugin* plugin() const { return plugin_; }

  private:
    static void setPortValue(const char* symbol, void* data, const void* value, uint32_t size,
                             uint32_t type);
    static const void* getPortValue(const char* symbol, void* data, uint32_t* size, uint32_t* type);

    World& world_;
    const LilvPlugin* plugin_;
    LilvInstance* instance_ = nullptr;
    std::map<std::string, uint32_t> portIndex_;
    std::vector<float> controls_;
    std::vector<uint32_t> audioIn_, audioOut_;
    void takeRows(size_t block);
    int64_t rowPort_ = -1;
    std::vector<uint64_t> rowBuffer_; // 64-bit aligned, as atoms are
    size_t rowCapacity_ = 0;
    std::vector<Row> rows_;
    bool active_ = false;
};

} // namespace orq::lv2::test
