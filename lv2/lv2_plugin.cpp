// The LV2 face of one plug-in: audio and control ports around the plug-in object the deliverable
// builds, driven through its record as the host extension drives it (open, format, start,
// process, stop), with settings applied through the plug-in's own parameter set and the state
// kept as the filter's persistent stream.
#include "lv2/lv2_description.h"
#include "lv2/lv2_ports.h"

#include "runtime/audio_buffers.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <vector>

namespace orq::lv2 {
namespace {

// [ui-thread] Closes and deletes a plug-in through its record, as a host releases it.
struct CloseAll {
    void operator()(PluginRecord* record) const {
        if (record != nullptr) record->dispatcher(record, kCmdCloseAll, nullptr, 0);
    }
};

const LV2_Feature* findFeature(const LV2_Feature* const* features, const char* uri) {
    for (int32_t i = 0; features != nullptr && features[i] != nullptr; ++i)
        if (std::strcmp(features[i]->URI, uri) == 0) return features[i];
    return nullptr;
}

class Instance {
  public:
    // [ui-thread] allocates; throws when the plug-in cannot be built or refuses the rate.
    Instance(const Description& description, int32_t channels, double sampleRate,
             const LV2_URID_Map* map)
        : description_(description), layout_(description, channels), channels_(channels),
          sampleRate_(static_cast<int32_t>(sampleRate)) {
        SetPointer own(description.createParameters());
        if (!own) throw std::bad_alloc();
        // The plug-in owns its set from here on, also when it answers null.
        AudioPlugin* plugin = description.createPlugin(own.release(), &Instance::hostCallback, this);
        if (plugin == nullptr) throw std::bad_alloc();
        record_.reset(&plugin->record());
        // Settings and meters go through the ports inside run, on the thread that processes
        // (save reads only the persisted values, under the plug-in's lock; restore never runs
        // beside run). Nothing reads the channel peaks the editors show.
        plugin->setEngineThreadConfined(true);
        plugin->setChannelMetering(false);
        scratch_.reset(description.createParameters());
        scratchTable_ = dynamic_cast<TableParameterSet*>(scratch_.get());
        stateScratch_.reset(description.createParameters());
        if (scratchTable_ == nullptr || !stateScratch_) throw std::bad_alloc();
        OpenFormat format{sampleRate_, channels_, 0};
        if (record_->dispatcher(record_.get(), kCmdOpen, &format, 0) != kStatusOk)
            throw std::runtime_error("the plug-in refuses the sample rate");
        record_->dispatcher(record_.get(), kCmdSetMaxBlockSize, nullptr, kBlockFramesMax);
        buffers_ = std::make_unique<AudioBuffers>(channels_, channels_, kBlockFramesMax,
                                                  BufferLayout::Shared, sampleRate_);
        controls_.assign(layout_.controlCount(), nullptr);
        applied_.assign(layout_.controlCount(), 0.0f);
        if (map != nullptr) streamKey_ = map->map(map->handle, kStreamUri);
        if (map != nullptr) chunkType_ = map->map(map->handle, "http://lv2plug.in/ns/ext/atom#Chunk");
        if (map != nullptr && description.rows != nullptr) mapRowTypes(*map);
        // The first run applies every setting port.
        pending_ = true;
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // [ui-thread] no allocation.
    void connect(uint32_t port, void* data) {
        const uint32_t channels = layout_.channels();
        if (port < channels) {
            inputs_[port] = static_cast<const float*>(data);
        } else if (port < 2 * channels) {
            outputs_[port - channels] = static_cast<float*>(data);
        } else if (port == layout_.latencyPort()) {
            latency_ = static_cast<float*>(data);
        } else if (description_.rows != nullptr && port == layout_.rowPort()) {
            rowsOut_ = static_cast<LV2_Atom_Sequence*>(data);
        } else if (port < layout_.portCount()) {
            controls_[port - layout_.firstControlPort()] = static_cast<float*>(data);
            pending_ = true;
        }
    }

    // [ui-thread] may allocate (the settings may rebuild the engine).
    // The settings the ports hold go in before the stream starts, as a host's stored settings
    // do: a setting that glides to a new value while running starts at its value instead.
    void activate() {
        OpenFormat format{sampleRate_, channels_, 0};
        record_->dispatcher(record_.get(), kCmdFormatChanged, &format, 0);
        applySettings();
        record_->dispatcher(record_.get(), kCmdStart, nullptr, 0);
    }
    // [ui-thread] may allocate (a flushed tail, which no LV2 host takes).
    void deactivate() { record_->dispatcher(record_.get(), kCmdStop, nullptr, 0); }

    // [audio-thread] no allocation unless a setting rebuilds the engine (see hardRealTime).
    void run(uint32_t frames) {
        applySettings();
        beginRows();
        for (uint32_t at = 0; at < frames;) {
            const int32_t n = static_cast<int32_t>(std::min<uint32_t>(frames - at, kBlockFramesMax));
            float** in = buffers_->inputs();
            for (int32_t c = 0; c < channels_; ++c) {
                if (inputs_[c] != nullptr)
                    std::memcpy(in[c], inputs_[c] + at, sizeof(float) * size_t(n));
                else
                    std::fill(in[c], in[c] + n, 0.0f);
            }
            buffers_->setFrames(n);
            const int32_t produced = std::clamp(record_->process(record_.get(), buffers_.get()), 0, n);
            float** out = buffers_->outputs();
            for (int32_t c = 0; c < channels_; ++c) {
                if (outputs_[c] == nullptr) continue;
                std::memcpy(outputs_[c] + at, out[c], sizeof(float) * size_t(produced));
                std::fill(outputs_[c] + at + produced, outputs_[c] + at + n, 0.0f);
            }
            collectRows(at + static_cast<uint32_t>(n) - 1);
            at += static_cast<uint32_t>(n);
        }
        readMeters();
        if (latency_ != nullptr)
            *latency_ = static_cast<float>(record_->dispatcher(record_.get(), kCmdLatency, nullptr, 0));
    }

    // [ui-thread] allocates the stream.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle) {
        if (streamKey_ == 0 || chunkType_ == 0) return LV2_STATE_ERR_NO_FEATURE;
        ParameterInterface* set = stateScratch_->iface();
        record_->saveToStore(record_.get(), set, kModePersisted);
        const std::vector<uint8_t> bytes = saveParameterStream(*stateScratch_, kStreamVersion);
        return store(handle, streamKey_, bytes.data(), bytes.size(), chunkType_,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    }

    // [ui-thread] may allocate (the engine takes the restored settings). A stream that does not
    // fit the plug-in changes nothing.
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
        if (streamKey_ == 0) return LV2_STATE_ERR_NO_FEATURE;
        size_t size = 0;
        uint32_t type = 0;
        uint32_t flags = 0;
        const void* data = retrieve(handle, streamKey_, &size, &type, &flags);
        if (data == nullptr) return LV2_STATE_ERR_NO_PROPERTY;
        if (type != chunkType_) return LV2_STATE_ERR_BAD_TYPE;
        if (!loadParameterStream(*stateScratch_, static_cast<const uint8_t*>(data), size, nullptr))
            return LV2_STATE_ERR_UNKNOWN;
        record_->loadFromStore(record_.get(), stateScratch_->iface(), kModePersisted);
        // The restored settings stand until a setting port changes: the ports' present values
        // count as applied.
        for (size_t i = 0; i < controls_.size(); ++i)
            if (controls_[i] != nullptr) applied_[i] = *controls_[i];
        pending_ = false;
        return LV2_STATE_SUCCESS;
    }

  private:
    static int32_t hostCallback(void*, PluginRecord*, int32_t, intptr_t, void*) {
        return 0; // an LV2 host takes no flushed tail and answers nothing else
    }

    // Applies the setting ports when one of them changed since the last block (compared by
    // bits, so a NaN the host keeps writing is applied once). The values go with every persisted
    // value, as a stream load does: values that depend on one another arrive together.
    void applySettings() {
        bool changed = pending_;
        const std::span<const ControlPort> ports = description_.ports;
        for (size_t i = 0; i < ports.size() && !changed; ++i) {
            if (ports[i].role != PortRole::Setting || controls_[i] == nullptr) continue;
            changed = std::memcmp(controls_[i], &applied_[i], sizeof(float)) != 0;
        }
        if (!changed) return;
        pending_ = false;
        ParameterInterface* set = scratch_->iface();
        record_->saveToStore(record_.get(), set, kModePersisted);
        for (size_t i = 0; i < ports.size(); ++i) {
            const ControlPort& port = ports[i];
            if (port.role != PortRole::Setting || controls_[i] == nullptr) continue;
            const float value = *controls_[i];
            applied_[i] = value;
            if (port.element == kScalar) {
                set->setFloat(set, port.index, value);
            } else {
                std::array<float, kArrayElementsMax> elements{};
                int32_t count = 0;
                int32_t size = 0;
                if (set->arrayInfo(set, port.index, &count, &size) != 0 ||
                    size != int32_t(sizeof(float)) || count > kArrayElementsMax ||
                    port.element >= count)
                    continue;
                set->getArray(set, port.index, elements.data(), count);
                elements[size_t(port.element)] = value;
                set->setArray(set, port.index, elements.data(), count);
            }
        }
        record_->loadFromStore(record_.get(), set, kModePersisted);
        // Settings outside the persisted ones (commands such as a learn switch) go one by one,
        // in the ports' order.
        for (size_t i = 0; i < ports.size(); ++i) {
            const ControlPort& port = ports[i];
            if (port.role == PortRole::Setting && controls_[i] != nullptr &&
                set->isPersisted(set, port.index) == 0)
                record_->loadFromStore(record_.get(), set, port.index);
        }
    }

    void readMeters() {
        const std::span<const ControlPort> ports = description_.ports;
        ParameterInterface* set = scratch_->iface();
        if (description_.metersAsUnnamed) record_->saveToStore(record_.get(), set, kModeUnnamed);
        for (size_t i = 0; i < ports.size(); ++i) {
            const ControlPort& port = ports[i];
            if (port.role != PortRole::Meter || controls_[i] == nullptr) continue;
            if (rowsActive_ && port.index == description_.rows->index) continue; // read with the rows
            if (!description_.metersAsUnnamed) record_->saveToStore(record_.get(), set, port.index);
            readMeterFromScratch(i);
        }
    }

    // The meter port's value out of the scratch set, which holds what the plug-in saved.
    void readMeterFromScratch(size_t i) {
        const ControlPort& port = description_.ports[i];
        ParameterInterface* set = scratch_->iface();
        set->setMode(set, kModeFrozen);
        if (port.readMeter == nullptr) {
            *controls_[i] = set->getFloat(set, port.index);
        } else {
            float value = 0.0f;
            if (port.readMeter(*scratchTable_, port.index, &value)) *controls_[i] = value;
        }
        set->setMode(set, kModeChanged);
    }

    void mapRowTypes(const LV2_URID_Map& map) {
        sequenceType_ = map.map(map.handle, LV2_ATOM__Sequence);
        vectorType_ = map.map(map.handle, LV2_ATOM__Vector);
        floatType_ = map.map(map.handle, LV2_ATOM__Float);
    }

    // [audio-thread] no allocation. Empties the host's row sequence for this run (its atom size
    // is the room the host gives); nothing is written when the port is not connected or too
    // small even for the sequence's header.
    void beginRows() {
        rowsActive_ = false;
        if (rowsOut_ == nullptr || sequenceType_ == 0) return;
        rowsRoom_ = rowsOut_->atom.size;
        if (rowsRoom_ < sizeof(LV2_Atom_Sequence_Body)) return;
        rowsOut_->atom.type = sequenceType_;
        rowsOut_->atom.size = sizeof(LV2_Atom_Sequence_Body);
        rowsOut_->body.unit = 0;
        rowsOut_->body.pad = 0;
        rowsActive_ = true;
    }

    // [audio-thread] no allocation. Collects the rows the plug-in has made since the last
    // collection and appends each as an atom:Vector of floats at the given frame, as long as
    // whole rows fit; the rest are dropped. Meter ports kept in the same parameter are read
    // from this collection.
    void collectRows(uint32_t frame) {
        if (!rowsActive_) return;
        const RowPort& rows = *description_.rows;
        record_->saveToStore(record_.get(), scratch_->iface(), rows.index);
        const int32_t count = rows.rowCount(*scratchTable_, rows.index);
        const uint32_t eventBytes = rowEventBytes(rows.floats);
        const uint32_t bodyBytes = sizeof(LV2_Atom_Vector_Body) + uint32_t(rows.floats) * sizeof(float);
        for (int32_t r = 0; r < count; ++r) {
            const uint32_t used = rowsOut_->atom.size;
            if (rowsRoom_ - used < eventBytes) break;
            auto* at = reinterpret_cast<uint8_t*>(&rowsOut_->body) + used;
            std::memset(at + sizeof(LV2_Atom_Event) + bodyBytes, 0,
                        eventBytes - sizeof(LV2_Atom_Event) - bodyBytes); // the padding
            auto* event = reinterpret_cast<LV2_Atom_Event*>(at);
            event->time.frames = frame;
            auto* vector = reinterpret_cast<LV2_Atom_Vector*>(&event->body);
            vector->atom.type = vectorType_;
            vector->atom.size = bodyBytes;
            vector->body.child_size = sizeof(float);
            vector->body.child_type = floatType_;
            rows.copyRow(*scratchTable_, rows.index, r, reinterpret_cast<float*>(vector + 1));
            rowsOut_->atom.size = used + eventBytes;
        }
        for (size_t i = 0; i < description_.ports.size(); ++i) {
            const ControlPort& port = description_.ports[i];
            if (port.role == PortRole::Meter && port.index == rows.index && controls_[i] != nullptr)
                readMeterFromScratch(i);
        }
    }

    const Description& description_;
    PortLayout layout_;
    int32_t channels_;
    int32_t sampleRate_;
    // Released last: a constructor that throws after the plug-in was made still closes it.
    std::unique_ptr<PluginRecord, CloseAll> record_;
    SetPointer scratch_; // the audio thread's: settings in, meters out
    TableParameterSet* scratchTable_ = nullptr; // the same set, for meters kept in records
    SetPointer stateScratch_; // state save and restore
    std::unique_ptr<AudioBuffers> buffers_;
    std::array<const float*, kChannelsMax> inputs_{};
    std::array<float*, kChannelsMax> outputs_{};
    float* latency_ = nullptr;
    std::vector<float*> controls_; // one per described port
    std::vector<float> applied_;   // the setting ports' values last applied
    bool pending_ = false;
    LV2_URID streamKey_ = 0;
    LV2_URID chunkType_ = 0;
    // The analyser's row port.
    LV2_Atom_Sequence* rowsOut_ = nullptr;
    uint32_t rowsRoom_ = 0; // bytes the host's sequence body may take in this run
    bool rowsActive_ = false;
    LV2_URID sequenceType_ = 0;
    LV2_URID vectorType_ = 0;
    LV2_URID floatType_ = 0;
};

Instance* instanceOf(LV2_Handle handle) {
    return static_cast<Instance*>(handle);
}

const LV2_Descriptor* descriptorOf(int32_t channels);

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const* features) {
    const LV2_Feature* feature = findFeature(features, LV2_URID__map);
    const auto* map = feature != nullptr ? static_cast<const LV2_URID_Map*>(feature->data) : nullptr;
    const int32_t channels = descriptor == descriptorOf(1) ? 1 : 2;
    try {
        return new Instance(thisDescription(), channels, rate, map);
    } catch (...) {
        return nullptr; // the host learns that the plug-in could not be made
    }
}

void connectPort(LV2_Handle h, uint32_t port, void* data) {
    instanceOf(h)->connect(port, data);
}
void activate(LV2_Handle h) {
    runOrStop([&] { instanceOf(h)->activate(); });
}
void run(LV2_Handle h, uint32_t frames) {
    runOrStop([&] { instanceOf(h)->run(frames); });
}
void deactivate(LV2_Handle h) {
    runOrStop([&] { instanceOf(h)->deactivate(); });
}
void cleanup(LV2_Handle h) {
    delete instanceOf(h);
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const*) {
    return answerOrFailure(LV2_STATE_ERR_UNKNOWN, [&] { return instanceOf(h)->save(store, handle); });
}
LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
    return answerOrFailure(LV2_STATE_ERR_UNKNOWN,
                           [&] { return instanceOf(h)->restore(retrieve, handle); });
}

const LV2_State_Interface kStateInterface{save, restore};

const void* extensionData(const char* uri) {
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kStateInterface;
    return nullptr;
}

// The stereo variant and, for a plug-in that takes one channel, the mono one.
const LV2_Descriptor* descriptorOf(int32_t channels) {
    static const std::string stereoUri = variantUri(thisDescription(), 2);
    static const std::string monoUri = variantUri(thisDescription(), 1);
    static const LV2_Descriptor stereo{stereoUri.c_str(), instantiate, connectPort, activate,
                                       run, deactivate, cleanup, extensionData};
    static const LV2_Descriptor mono{monoUri.c_str(), instantiate, connectPort, activate,
                                     run, deactivate, cleanup, extensionData};
    if (channels == 2) return &stereo;
    return thisDescription().monoVariant ? &mono : nullptr;
}

} // namespace
} // namespace orq::lv2

// [any-thread] no allocation after the first call: the one export of the library.
extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    using namespace orq::lv2;
    if (index == 0) return descriptorOf(2);
    if (index == 1) return descriptorOf(1);
    return nullptr;
}
