#include "lv2/lv2_test_host.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace orq::lv2::test {

UridMap::UridMap() {
    map_.handle = this;
    map_.map = [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
        return static_cast<UridMap*>(h)->map(uri);
    };
    feature_.URI = LV2_URID__map;
    feature_.data = &map_;
}

uint32_t UridMap::map(const char* uri) {
    auto [it, added] = ids_.emplace(uri, uint32_t(ids_.size() + 1));
    return it->second;
}

World::World(const std::string& bundlePath) : world_(lilv_world_new()) {
    // The LV2 schema bundles, for the classes and the state vocabulary.
    lilv_world_load_specifications(world_);
    const std::string uri = "file://" + bundlePath + (bundlePath.ends_with('/') ? "" : "/");
    LilvNode* bundle = lilv_new_uri(world_, uri.c_str());
    lilv_world_load_bundle(world_, bundle);
    lilv_node_free(bundle);
}

World::~World() {
    lilv_world_free(world_);
}

std::vector<std::pair<std::string, std::string>> World::presets(const std::string& pluginUri) {
    LilvNode* presetClass = lilv_new_uri(world_, LV2_PRESETS__Preset);
    LilvNode* label = lilv_new_uri(world_, LILV_NS_RDFS "label");
    LilvNodes* related = lilv_plugin_get_related(plugin(pluginUri), presetClass);
    std::vector<std::pair<std::string, std::string>> found;
    LILV_FOREACH (nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(world_, preset);
        LilvNode* name = lilv_world_get(world_, preset, label, nullptr);
        found.emplace_back(lilv_node_as_uri(preset), name != nullptr ? lilv_node_as_string(name) : "");
        lilv_node_free(name);
    }
    lilv_nodes_free(related);
    lilv_node_free(label);
    lilv_node_free(presetClass);
    std::sort(found.begin(), found.end());
    return found;
}

LilvState* World::presetState(const std::string& presetUri) {
    LilvNode* node = lilv_new_uri(world_, presetUri.c_str());
    lilv_world_load_resource(world_, node);
    auto* map = static_cast<LV2_URID_Map*>(urids_.feature()->data);
    LilvState* state = lilv_state_new_from_world(world_, map, node);
    lilv_node_free(node);
    if (state == nullptr) throw std::runtime_error("no preset " + presetUri);
    return state;
}

const LilvPlugin* World::plugin(const std::string& uri) {
    LilvNode* node = lilv_new_uri(world_, uri.c_str());
    const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
    lilv_node_free(node);
    if (p == nullptr) throw std::runtime_error("no plug-in " + uri);
    return p;
}

Instance::Instance(World& world, const std::string& uri, double sampleRate)
    : world_(world), plugin_(world.plugin(uri)) {
    const LV2_Feature* features[] = {world.urids().feature(), nullptr};
    instance_ = lilv_plugin_instantiate(plugin_, sampleRate, features);
    if (instance_ == nullptr) throw std::runtime_error("cannot instantiate " + uri);
    const uint32_t n = lilv_plugin_get_num_ports(plugin_);
    controls_.assign(n, 0.0f);
    std::vector<float> defaults(n, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin_, nullptr, nullptr, defaults.data());
    LilvNode* audio = lilv_new_uri(world.world(), LV2_CORE__AudioPort);
    LilvNode* input = lilv_new_uri(world.world(), LV2_CORE__InputPort);
    LilvNode* atom = lilv_new_uri(world.world(), LV2_ATOM__AtomPort);
    for (uint32_t i = 0; i < n; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
        portIndex_[lilv_node_as_string(lilv_port_get_symbol(plugin_, port))] = i;
        if (lilv_port_is_a(plugin_, port, audio)) {
            (lilv_port_is_a(plugin_, port, input) ? audioIn_ : audioOut_).push_back(i);
        } else if (lilv_port_is_a(plugin_, port, atom)) {
            continue; // unconnected unless a test collects its rows
        } else {
            controls_[i] = std::isnan(defaults[i]) ? 0.0f : defaults[i];
            lilv_instance_connect_port(instance_, i, &controls_[i]);
        }
    }
    lilv_node_free(audio);
    lilv_node_free(input);
    lilv_node_free(atom);
}

Instance::~Instance() {
    if (active_) lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
}

bool Instance::hasPort(const std::string& symbol) const {
    return portIndex_.contains(symbol);
}

void Instance::set(const std::string& symbol, float value) {
    controls_.at(portIndex_.at(symbol)) = value;
}

float Instance::get(const std::string& symbol) const {
    return controls_.at(portIndex_.at(symbol));
}

void Instance::activate() {
    if (!active_) lilv_instance_activate(instance_);
    active_ = true;
}

void Instance::deactivate() {
    if (active_) lilv_instance_deactivate(instance_);
    active_ = false;
}

std::vector<float> Instance::run(const std::vector<float>& interleaved, int32_t blockFrames) {
    activate();
    const size_t frames = interleaved.size() / 2;
    std::vector<float> out(interleaved.size(), 0.0f);
    const size_t block = static_cast<size_t>(blockFrames);
    std::vector<float> inL(block), inR(block);
    std::vector<float> outL(block), outR(block);
    // A mono variant takes the left channel and gives it back on both sides of the result.
    const bool stereo = audioIn_.size() > 1;
    lilv_instance_connect_port(instance_, audioIn_.at(0), inL.data());
    lilv_instance_connect_port(instance_, audioOut_.at(0), outL.data());
    if (stereo) {
        lilv_instance_connect_port(instance_, audioIn_.at(1), inR.data());
        lilv_instance_connect_port(instance_, audioOut_.at(1), outR.data());
    }
    for (size_t at = 0; at < frames; at += size_t(blockFrames)) {
        const size_t n = std::min(frames - at, size_t(blockFrames));
        for (size_t i = 0; i < n; ++i) {
            inL[i] = interleaved[2 * (at + i)];
            inR[i] = interleaved[2 * (at + i) + 1];
        }
        if (rowPort_ >= 0) {
            // The room the host gives: the sequence's body may fill the rest of the buffer.
            auto* sequence = reinterpret_cast<LV2_Atom*>(rowBuffer_.data());
            sequence->type = world_.urids().map(LV2_ATOM__Chunk);
            sequence->size = uint32_t(rowCapacity_ - sizeof(LV2_Atom));
        }
        lilv_instance_run(instance_, uint32_t(n));
        if (rowPort_ >= 0) takeRows(at / size_t(blockFrames));
        for (size_t i = 0; i < n; ++i) {
            out[2 * (at + i)] = outL[i];
            out[2 * (at + i) + 1] = stereo ? outR[i] : outL[i];
        }
    }
    return out;
}

void Instance::collectRows(const std::string& symbol, size_t capacityBytes) {
    rowPort_ = portIndex_.at(symbol);
    rowCapacity_ = capacityBytes;
    rowBuffer_.assign((capacityBytes + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    lilv_instance_connect_port(instance_, uint32_t(rowPort_), rowBuffer_.data());
}

// Reads the sequence the plug-in wrote; anything but a sequence of float vectors that fits the
// buffer is a failure.
void Instance::takeRows(size_t block) {
    const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(rowBuffer_.data());
    UridMap& urids = world_.urids();
    if (sequence->atom.type != urids.map(LV2_ATOM__Sequence) ||
        sizeof(LV2_Atom) + sequence->atom.size > rowCapacity_)
        throw std::runtime_error("the row port holds no sequence that fits its buffer");
    LV2_ATOM_SEQUENCE_FOREACH (sequence, event) {
        const auto* vector = reinterpret_cast<const LV2_Atom_Vector*>(&event->body);
        if (vector->atom.type != urids.map(LV2_ATOM__Vector) ||
            vector->body.child_type != urids.map(LV2_ATOM__Float) ||
            vector->body.child_size != sizeof(float))
            throw std::runtime_error("a row is not a vector of floats");
        const size_t count = (vector->atom.size - sizeof(LV2_Atom_Vector_Body)) / sizeof(float);
        const auto* values = reinterpret_cast<const float*>(vector + 1);
        rows_.push_back({event->time.frames, block, std::vector<float>(values, values + count)});
    }
}

const void* Instance::getPortValue(const char* symbol, void* data, uint32_t* size,
                                   uint32_t* type) {
    auto* self = static_cast<Instance*>(data);
    auto it = self->portIndex_.find(symbol);
    if (it == self->portIndex_.end()) return nullptr;
    *size = sizeof(float);
    *type = self->world_.urids().map(LV2_ATOM__Float);
    return &self->controls_[it->second];
}

void Instance::setPortValue(const char* symbol, void* data, const void* value, uint32_t size,
                            uint32_t) {
    auto* self = static_cast<Instance*>(data);
    auto it = self->portIndex_.find(symbol);
    if (it == self->portIndex_.end() || size != sizeof(float)) return;
    std::memcpy(&self->controls_[it->second], value, sizeof(float));
}

LilvState* Instance::saveState() {
    const LV2_Feature* features[] = {world_.urids().feature(), nullptr};
    auto* map = static_cast<LV2_URID_Map*>(world_.urids().feature()->data);
    return lilv_state_new_from_instance(plugin_, instance_, map, nullptr, nullptr, nullptr,
                                        nullptr, &Instance::getPortValue, this, 0, features);
}

void Instance::restoreState(const LilvState* state, bool withPorts) {
    const LV2_Feature* features[] = {world_.urids().feature(), nullptr};
    lilv_state_restore(state, instance_, withPorts ? &Instance::setPortValue : nullptr, this, 0,
                       features);
}

} // namespace orq::lv2::test
