#include "host/session.h"

#include "host/filter_graph.h"

#include "runtime/audio_transform_filter.h"
#include "runtime/latency_skip.h"
#include "runtime/sample_conversion.h"

#include <streams.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace orq::host {

namespace {

constexpr int32_t kChunkFramesMax = 8192; // the host's float block
constexpr int32_t kChannelsMax = 2;
constexpr int32_t kShapeMaxPoints = 15;
constexpr int32_t kShapeRecordBytes = 124; // x[15], y[15], count

// Parsing
// ------------------------------------------------------------------------------------------

float parseNumber(const std::string& text, const std::string& what) {
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v))
        throw std::runtime_error("'" + text + "' is not a number (" + what + ")");
    return v;
}

// "x,y;x,y;...": a transfer-curve record of 2 to 15 points with levels in 0 … 1 and input
// levels that never decrease.
std::vector<uint8_t> packShapeRecord(const std::string& text, const std::string& key) {
    std::vector<std::pair<float, float>> points;
    std::stringstream list(text);
    std::string point;
    while (std::getline(list, point, ';')) {
        const size_t comma = point.find(',');
        if (comma == std::string::npos)
            throw std::runtime_error(key + ": '" + point + "' is not a point x,y");
        points.emplace_back(parseNumber(point.substr(0, comma), key),
                            parseNumber(point.substr(comma + 1), key));
    }
    if (points.size() < 2 || points.size() > size_t(kShapeMaxPoints))
        throw std::runtime_error(key + ": a curve has 2 to 15 points");
    for (size_t i = 0; i < points.size(); ++i) {
        const auto [x, y] = points[i];
        if (x < 0 || x > 1 || y < 0 || y > 1)
            throw std::runtime_error(key + ": levels lie in 0 … 1");
        if (i > 0 && x < points[i - 1].first)
            throw std::runtime_error(key + ": input levels must not decrease");
    }
    std::vector<uint8_t> record(kShapeRecordBytes, 0);
    auto* x = reinterpret_cast<float*>(record.data());
    auto* y = x + kShapeMaxPoints;
    for (size_t i = 0; i < points.size(); ++i) {
        x[i] = points[i].first;
        y[i] = points[i].second;
    }
    const int32_t count = int32_t(points.size());
    std::memcpy(record.data() + 2 * kShapeMaxPoints * sizeof(float), &count, sizeof count);
    return record;
}

int32_t indexOfKey(ParameterInterface* set, int32_t count, const std::string& key) {
    for (int32_t i = 0; i < count; ++i) {
        const char* name = set->keyName(set, i);
        if (name != nullptr && key == name) return i;
    }
    return -1;
}

std::string knownKeys(ParameterInterface* set, int32_t count) {
    std::string keys;
    for (int32_t i = 0; i < count; ++i)
        if (const char* name = set->keyName(set, i))
            keys += (keys.empty() ? "" : ", ") + std::string(name);
    return keys;
}

// A byte stream in memory for the filter's persistence.
class MemoryStream final : public IStream {
  public:
    explicit MemoryStream(std::vector<uint8_t> bytes = {}) : bytes_(std::move(bytes)) {}
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IStream) return GetInterface<IStream>(this, object);
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
        const ULONG n = ULONG(std::min<size_t>(size, bytes_.size() - position_));
        std::memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        if (read != nullptr) *read = n;
        return n == size ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* buffer, ULONG size, ULONG* written) override {
        const auto* p = static_cast<const uint8_t*>(buffer);
        bytes_.insert(bytes_.end(), p, p + size);
        if (written != nullptr) *written = size;
        return S_OK;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
};

// Meters of the frame, read through the record.
void readMeters(PluginRecord* r, int32_t channels, RunSummary& summary) {
    std::array<float, kChannelsMax> peaks{};
    std::array<int32_t, kChannelsMax> clips{};
    summary.input.assign(size_t(channels), {});
    summary.output.assign(size_t(channels), {});
    r->dispatcher(r, kCmdReadInputPeaks, peaks.data(), 0);
    r->dispatcher(r, kCmdReadInputClips, clips.data(), 0);
    for (int32_t c = 0; c < channels; ++c)
        summary.input[size_t(c)] = {peaks[size_t(c)], clips[size_t(c)]};
    peaks.fill(0.0f);
    clips.fill(0);
    r->dispatcher(r, kCmdReadOutputPeaks, peaks.data(), 0);
    r->dispatcher(r, kCmdReadOutputClips, clips.data(), 0);
    for (int32_t c = 0; c < channels; ++c)
        summary.output[size_t(c)] = {peaks[size_t(c)], clips[size_t(c)]};
}

void enableClipCounting(PluginRecord* r) {
    r->dispatcher(r, kCmdEnableInputClips, nullptr, 0);
    r->dispatcher(r, kCmdEnableOutputClips, nullptr, 0);
}

// Whether the plug-in hands its tail to a host that asks for it, tried on a scratch instance
// with the given values.
bool deliversTail(const PluginLibrary& library, ParameterInterface* values, int32_t sampleRate,
                  int32_t channels) {
    CreateEffectFn effect = nullptr;
    CreateEditorFn editor = nullptr;
    CreateParametersFn parameters = nullptr;
    if (library.getCreator(library.name.c_str(), library.kind, &effect, &editor, &parameters) != 1)
        return false;
    bool tail = false;
    auto probe = [](void* context, PluginRecord*, int32_t request, intptr_t, void* b) -> int32_t {
        if (request == kRequestHostMode) return kHostModeTakesTail;
        if (request == kRequestTake) {
            *static_cast<bool*>(context) = static_cast<TailRecord*>(b)->frames > 0;
            return 1;
        }
        return 0;
    };
    PluginRecord* r = effect(probe, &tail, values);
    if (r == nullptr) return false;
    OpenFormat f{sampleRate, channels, 0};
    if (r->dispatcher(r, kCmdOpen, &f, 0) == 0) {
        r->dispatcher(r, kCmdStart, nullptr, 0);
        r->dispatcher(r, kCmdStop, nullptr, 0);
    }
    r->dispatcher(r, kCmdCloseAll, nullptr, 0);
    return tail;
}

AudioData emptyLike(const AudioData& input) {
    AudioData out;
    out.channels = input.channels;
    out.sampleRate = input.sampleRate;
    out.format = input.format;
    return out;
}

// Appends interleaved bytes to out, never beyond limit frames.
void appendFrames(AudioData& out, const uint8_t* bytes, int64_t frames, int64_t limit) {
    const int64_t take = std::clamp<int64_t>(limit - out.frames, 0, frames);
    const size_t samples = size_t(take) * size_t(out.channels);
    if (out.format == SampleFormat::Int16) {
        const auto* p = reinterpret_cast<const int16_t*>(bytes);
        out.int16.insert(out.int16.end(), p, p + samples);
    } else {
        const auto* p = reinterpret_cast<const float*>(bytes);
        out.float32.insert(out.float32.end(), p, p + samples);
    }
    out.frames += take;
}

// Pads to the input's length (a plug-in that returned fewer frames than it took).
void padTo(AudioData& out, int64_t frames) {
    if (out.frames >= frames) return;
    const size_t samples = size_t(frames) * size_t(out.channels);
    if (out.format == SampleFormat::Int16)
        out.int16.resize(samples, 0);
    else
        out.float32.resize(samples, 0.0f);
    out.frames = frames;
}

AudioFormat waveFormat(const AudioData& audio) {
    AudioFormat f{};
    f.formatTag = audio.format == SampleFormat::Int16 ? kFormatPcm : kFormatFloat;
    f.channels = uint16_t(audio.channels);
    f.samplesPerSec = uint32_t(audio.sampleRate);
    f.bitsPerSample = audio.format == SampleFormat::Int16 ? 16 : 32;
    f.blockAlign = uint16_t(audio.channels * f.bitsPerSample / 8);
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
    return f;
}

void requireChannels(const AudioData& input) {
    if (input.channels < 1 || input.channels > kChannelsMax)
        throw std::runtime_error("the input has " + std::to_string(input.channels) +
                                 " channels; the plug-ins take one or two");
}

// Component road
// --------------------------------------------------------------------------------------

template <class T> struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p != nullptr) p->Release();
    }
    T** out() { return &p; }
    void** voids() { return reinterpret_cast<void**>(&p); }
    T* operator->() const { return p; }
};

class ComponentSession final : public Session {
  public:
    ComponentSession(PluginLibrary library, const CLSID& classId)
        : Session(std::move(library), Road::Component) {
        HRESULT hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      filter_.voids());
        if (FAILED(hr))
            throw std::runtime_error("cannot create the filter of '" + library_.name +
                                     "' (error 0x" + hex(hr) + ")");
        if (FAILED(filter_->QueryInterface(IID_IPersistStream, persist_.voids())) ||
            FAILED(filter_->QueryInterface(IID_IAudioPluginRecord, access_.voids())))
            throw std::runtime_error("'" + library_.name + "' is not a filter of this suite");
    }

    PluginRecord* record() override { return access_->Record(); }

    void loadState(const std::vector<uint8_t>& bytes) override {
        MemoryStream stream(bytes);
        if (FAILED(persist_->Load(&stream)))
            throw std::runtime_error("the state does not fit '" + library_.name +
                                     "' (wrong plug-in, or damaged)");
    }

    std::vector<uint8_t> saveState() override {
        MemoryStream stream;
        if (FAILED(persist_->Save(&stream, TRUE)))
            throw std::runtime_error("the plug-in's state could not be saved");
        return stream.bytes();
    }

    void apply(const std::vector<Setting>& settings) override {
        if (settings.empty()) return;
        ParameterInterface* scratch = scratchSet();
        try {
            const int32_t count = scratch->owner->count();
            const std::vector<uint8_t> current = saveState();
            loadParameterStream(scratch, count, current.data(), current.size(), nullptr);
            applySettings(scratch, count, settings);
            loadState(saveParameterStream(scratch, count, 0));
        } catch (...) {
            scratch->release(scratch);
            throw;
        }
        scratch->release(scratch);
    }

    AudioData run(const AudioData& input, RunSummary& summary, const Progress& progress) override {
        requireChannels(input);
        const AudioFormat wave = waveFormat(input);
        CMediaType type;
        type.majortype = MEDIATYPE_Audio;
        type.subtype =
            input.format == SampleFormat::Int16 ? MEDIASUBTYPE_PCM : MEDIASUBTYPE_IEEE_FLOAT;
        type.formattype = FORMAT_WaveFormatEx;
        type.bFixedSizeSamples = TRUE;
        type.lSampleSize = wave.blockAlign;
        type.SetFormat(reinterpret_cast<const BYTE*>(&wave), sizeof wave);

        ComPtr<IPin> in, out;
        ComPtr<IMemInputPin> memIn;
        filter_->FindPin(u"Input", in.out());
        filter_->FindPin(u"Output", out.out());
        SourcePin source;
        HRESULT hr = in->ReceiveConnection(&source, &type);
        if (FAILED(hr))
            throw std::runtime_error("'" + library_.name + "' refuses " + describe(input));
        in->QueryInterface(IID_IMemInputPin, memIn.voids());

        auto* allocator = new CMemAllocator;
        allocator->AddRef();
        ALLOCATOR_PROPERTIES request{2, chunkFrames() * wave.blockAlign, 1, 0}, actual{};
        allocator->SetProperties(&request, &actual);
        allocator->Commit();
        memIn->NotifyAllocator(allocator, FALSE);

        AudioData output = emptyLike(input);
        SinkPin sink(
            [&output, &input](const uint8_t* data, int64_t frames) {
                appendFrames(output, data, frames, input.frames);
            },
            output.bytesPerFrame());
        hr = out->Connect(&sink, &type);
        if (FAILED(hr)) {
            allocator->Release();
            throw std::runtime_error("cannot connect the output of '" + library_.name + "'");
        }
        PluginRecord* r = record();
        ParameterInterface* values = r->parameters;
        const bool tail = deliversTail(library_, values, input.sampleRate, input.channels);
        enableClipCounting(r);
        filter_->Run(0);
        summary.latencyFrames = r->dispatcher(r, kCmdLatency, nullptr, 0);
        summary.tailFromPlugin = tail;

        auto push = [&](const uint8_t* bytes, int64_t frames) {
            IMediaSample* sample = nullptr;
            if (FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0)))
                throw std::runtime_error("no media sample");
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            const size_t size = size_t(frames) * size_t(wave.blockAlign);
            if (bytes != nullptr)
                std::memcpy(data, bytes, size);
            else
                std::memset(data, 0, size);
            sample->SetActualDataLength(long(size));
            const HRESULT received = memIn->Receive(sample);
            sample->Release();
            if (FAILED(received)) throw std::runtime_error("the plug-in failed while processing");
        };
        const auto* bytes = static_cast<const uint8_t*>(input.data());
        for (int64_t at = 0; at < input.frames; at += chunkFrames()) {
            const int64_t frames = std::min<int64_t>(chunkFrames(), input.frames - at);
            push(bytes + size_t(at) * size_t(wave.blockAlign), frames);
            if (progress) progress(at + frames, input.frames);
        }
        // A plug-in without a tail gets silence that pushes its delayed output out.
        if (!tail)
            for (int64_t left = input.frames - sink.receivedFrames(); left > 0;
                 left -= chunkFrames())
                push(nullptr, std::min<int64_t>(left, chunkFrames()));
        in->EndOfStream();
        filter_->Stop();
        readMeters(r, input.channels, summary);
        out->Disconnect();
        in->Disconnect();
        allocator->Decommit();
        allocator->Release();
        padTo(output, input.frames);
        return output;
    }

  private:
    static std::string hex(HRESULT hr) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X", uint32_t(hr));
        return text;
    }
    static std::string describe(const AudioData& input) {
        return std::to_string(input.channels) + "-channel " + std::to_string(input.sampleRate) +
               " Hz " + (input.format == SampleFormat::Int16 ? "16-bit" : "float") + " audio";
    }
    ParameterInterface* scratchSet() {
        CreateEffectFn effect = nullptr;
        CreateEditorFn editor = nullptr;
        CreateParametersFn parameters = nullptr;
        if (library_.getCreator(library_.name.c_str(), library_.kind, &effect, &editor,
                                &parameters) != 1 ||
            parameters == nullptr)
            throw std::runtime_error("'" + library_.name + "' gives no parameter set");
        ParameterInterface* set = parameters();
        if (set == nullptr)
            throw std::runtime_error("'" + library_.name + "' gives no parameter set");
        return set;
    }

    ComPtr<IBaseFilter> filter_;
    ComPtr<IPersistStream> persist_;
    ComPtr<IAudioPluginRecord> access_;
};

// Host extension road
// -------------------------------------------------------------------------------

class ExtensionSession final : public Session {
  public:
    explicit ExtensionSession(PluginLibrary library)
        : Session(std::move(library), Road::HostExtension) {
        if (library_.getCreator(library_.name.c_str(), library_.kind, &effect_, &editor_,
                                &parameters_) != 1)
            throw std::runtime_error("'" + library_.name + "' offers no plug-in of its own name");
        record_ = effect_(&ExtensionSession::hostCallback, this, nullptr);
        if (record_ == nullptr) throw std::runtime_error("cannot create '" + library_.name + "'");
        // Opened at once for the common format, as the component road does.
        OpenFormat stereo{44100, 2, 0};
        if (record_->dispatcher(record_, kCmdOpen, &stereo, 0) != 0) {
            OpenFormat mono{44100, 1, 0};
            record_->dispatcher(record_, kCmdOpen, &mono, 0);
        }
    }
    ~ExtensionSession() override { record_->dispatcher(record_, kCmdCloseAll, nullptr, 0); }

    PluginRecord* record() override { return record_; }

    void loadState(const std::vector<uint8_t>& bytes) override {
        ParameterInterface* scratch = parameters_();
        const bool ok = loadParameterStream(scratch, scratch->owner->count(), bytes.data(),
                                            bytes.size(), nullptr);
        if (ok) record_->loadFromStore(record_, scratch, kModePersisted);
        scratch->release(scratch);
        if (!ok)
            throw std::runtime_error("the state does not fit '" + library_.name +
                                     "' (wrong plug-in, or damaged)");
    }

    std::vector<uint8_t> saveState() override {
        ParameterInterface* scratch = parameters_();
        record_->saveToStore(record_, scratch, kModePersisted);
        std::vector<uint8_t> bytes = saveParameterStream(scratch, scratch->owner->count(), 0);
        scratch->release(scratch);
        return bytes;
    }

    void apply(const std::vector<Setting>& settings) override {
        if (settings.empty()) return;
        ParameterInterface* scratch = parameters_();
        try {
            // Applied with every persisted value, as the component road's stream load does, so
            // that values which depend on one another (band counts, borders) arrive together.
            record_->saveToStore(record_, scratch, kModePersisted);
            applySettings(scratch, scratch->owner->count(), settings);
            record_->loadFromStore(record_, scratch, kModePersisted);
        } catch (...) {
            scratch->release(scratch);
            throw;
        }
        scratch->release(scratch);
    }

    AudioData run(const AudioData& input, RunSummary& summary, const Progress& progress) override {
        requireChannels(input);
        PluginRecord* r = record_;
        OpenFormat f{input.sampleRate, input.channels, 0};
        const int32_t result = r->dispatcher(r, kCmdFormatChanged, &f, 0);
        if (result != 0 || r->bypass != 0)
            throw std::runtime_error("'" + library_.name + "' refuses " +
                                     std::to_string(input.channels) + "-channel " +
                                     std::to_string(input.sampleRate) + " Hz audio");
        const bool tail = deliversTail(library_, r->parameters, input.sampleRate, input.channels);
        r->dispatcher(r, kCmdSetMaxBlockSize, nullptr, chunkFrames());
        enableClipCounting(r);
        const int32_t latency = r->dispatcher(r, kCmdLatency, nullptr, 0);
        summary.latencyFrames = latency;
        summary.tailFromPlugin = tail;
        skip_.start(latency);
        output_ = emptyLike(input);
        limit_ = input.frames;
        r->dispatcher(r, kCmdStart, nullptr, 0);

        const int32_t bytesPerFrame = input.bytesPerFrame();
        const auto* bytes = static_cast<const uint8_t*>(input.data());
        std::vector<uint8_t> silence;
        for (int64_t at = 0; at < input.frames; at += chunkFrames()) {
            const int32_t frames = int32_t(std::min<int64_t>(chunkFrames(), input.frames - at));
            processChunk(bytes + size_t(at) * size_t(bytesPerFrame), frames);
            if (progress) progress(at + frames, input.frames);
        }
        if (!tail) {
            silence.assign(size_t(chunkFrames()) * size_t(bytesPerFrame), 0);
            while (output_.frames < input.frames)
                processChunk(silence.data(), int32_t(std::min<int64_t>(
                                                 chunkFrames(), input.frames - output_.frames)));
        }
        r->dispatcher(r, kCmdStop, nullptr, 0);
        readMeters(r, input.channels, summary);
        padTo(output_, input.frames);
        return std::move(output_);
    }

  private:
    void processChunk(const uint8_t* bytes, int32_t frames) {
        convertIn(bytes, output_.format, output_.channels, buffers_.inputs(), frames);
        buffers_.setFrames(frames);
        const int32_t produced = record_->process(record_, &buffers_);
        if (produced < 0) throw std::runtime_error("the plug-in failed while processing");
        take(buffers_.outputs(), produced);
    }
    // Output of the plug-in (processed or tail) after the latency skip.
    void take(float* const* channels, int32_t produced) {
        const int32_t skip = std::min(skip_.skipFor(produced), produced);
        const int32_t kept = produced - skip;
        if (kept <= 0) return;
        scratch_.resize(size_t(kept) * size_t(output_.bytesPerFrame()));
        convertOut(channels, skip, output_.format, output_.channels, scratch_.data(), kept);
        appendFrames(output_, scratch_.data(), kept, limit_);
    }
    static int32_t hostCallback(void* context, PluginRecord*, int32_t request, intptr_t, void* b) {
        auto* self = static_cast<ExtensionSession*>(context);
        if (request == kRequestHostMode) return kHostModeTakesTail;
        if (request == kRequestTake && b != nullptr) {
            const auto* tail = static_cast<const TailRecord*>(b);
            for (int32_t at = 0; at < tail->frames; at += kChunkFramesMax) {
                const int32_t frames = std::min(kChunkFramesMax, tail->frames - at);
                std::array<float*, kChannelsMax> pointers{};
                for (int32_t c = 0; c < std::min(tail->channels, kChannelsMax); ++c)
                    pointers[size_t(c)] = tail->buffers[c] + at;
                self->take(pointers.data(), frames);
            }
            return 1;
        }
        return 0;
    }

    CreateEffectFn effect_ = nullptr;
    CreateEditorFn editor_ = nullptr;
    CreateParametersFn parameters_ = nullptr;
    PluginRecord* record_ = nullptr;
    AudioBuffers buffers_{kChannelsMax, kChannelsMax, kChunkFramesMax, BufferLayout::Shared};
    LatencySkip skip_;
    AudioData output_;
    int64_t limit_ = 0;
    std::vector<uint8_t> scratch_;
};

} // namespace

Session::~Session() {
    if (store_ != nullptr) store_->release(store_);
}

ParameterInterface* Session::store() {
    if (store_ != nullptr) return store_;
    CreateEffectFn effect = nullptr;
    CreateEditorFn editor = nullptr;
    CreateParametersFn parameters = nullptr;
    if (library_.getCreator(library_.name.c_str(), library_.kind, &effect, &editor, &parameters) !=
            1 ||
        parameters == nullptr || (store_ = parameters()) == nullptr)
        throw std::runtime_error("'" + library_.name + "' gives no parameter set");
    return store_;
}

void Session::setChunkFrames(int32_t frames) {
    chunkFrames_ = std::clamp(frames, 1, kChunkFramesMax);
}

float Session::readValue(int32_t index) {
    ParameterInterface* s = store();
    PluginRecord* r = record();
    r->dispatcher(r, kCmdSaveSettings, s, index);
    s->setMode(s, kModeFrozen);
    const float v = s->getFloat(s, index);
    s->setMode(s, kModeChanged);
    return v;
}

std::vector<float> Session::readFloats(int32_t index) {
    ParameterInterface* s = store();
    PluginRecord* r = record();
    r->dispatcher(r, kCmdSaveSettings, s, index);
    int32_t n = 0, size = 0;
    if (s->arrayInfo(s, index, &n, &size) != 0 || size != int32_t(sizeof(float))) return {};
    std::vector<float> values(static_cast<size_t>(n));
    s->getArray(s, index, values.data(), n);
    s->setMode(s, kModeChanged);
    return values;
}

void Session::writeValue(int32_t index, float value) {
    ParameterInterface* s = store();
    PluginRecord* r = record();
    s->setFloat(s, index, value);
    r->dispatcher(r, kCmdLoadSettings, s, index);
    s->setMode(s, kModeChanged);
}

void Session::writeFloats(int32_t index, const std::vector<float>& values) {
    ParameterInterface* s = store();
    PluginRecord* r = record();
    s->setArray(s, index, values.data(), int32_t(values.size()));
    r->dispatcher(r, kCmdLoadSettings, s, index);
    s->setMode(s, kModeChanged);
}

Setting parseSetting(const std::string& text) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        throw std::runtime_error("--set takes KEY=VALUE or KEY[i]=VALUE, not '" + text + "'");
    Setting s;
    s.key = text.substr(0, equals);
    s.value = text.substr(equals + 1);
    const size_t open = s.key.find('[');
    if (open != std::string::npos) {
        if (s.key.back() != ']' || open == 0)
            throw std::runtime_error("--set takes KEY=VALUE or KEY[i]=VALUE, not '" + text + "'");
        const std::string index = s.key.substr(open + 1, s.key.size() - open - 2);
        char* end = nullptr;
        const long element = std::strtol(index.c_str(), &end, 10);
        if (index.empty() || *end != '\0' || element < 0 || element > 1 << 20)
            throw std::runtime_error("'" + index + "' is not an array index in '" + text + "'");
        s.element = int32_t(element);
        s.key = s.key.substr(0, open);
    }
    return s;
}

void applySettings(ParameterInterface* set, int32_t count, const std::vector<Setting>& settings) {
    for (const Setting& s : settings) {
        const int32_t index = indexOfKey(set, count, s.key);
        if (index < 0)
            throw std::runtime_error("unknown parameter '" + s.key +
                                     "' (known: " + knownKeys(set, count) + ")");
        int32_t n = 0, size = 0;
        const bool isArray = set->arrayInfo(set, index, &n, &size) == 0;
        if (!isArray) {
            if (s.element >= 0) throw std::runtime_error("'" + s.key + "' is not an array");
            set->setFloat(set, index, parseNumber(s.value, s.key));
            continue;
        }
        if (s.element < 0 || s.element >= n)
            throw std::runtime_error("'" + s.key + "' takes an index from 0 to " +
                                     std::to_string(n - 1) + ", as " + s.key + "[i]=VALUE");
        std::vector<uint8_t> bytes(size_t(n) * size_t(size));
        set->getArray(set, index, bytes.data(), n);
        std::vector<uint8_t> element;
        if (size == int32_t(sizeof(float))) {
            const float v = parseNumber(s.value, s.key);
            element.resize(sizeof v);
            std::memcpy(element.data(), &v, sizeof v);
        } else if (size == kShapeRecordBytes) {
            element = packShapeRecord(s.value, s.key);
        } else {
            throw std::runtime_error("'" + s.key + "' cannot be set from the command line");
        }
        std::memcpy(bytes.data() + size_t(s.element) * size_t(size), element.data(),
                    element.size());
        set->setArray(set, index, bytes.data(), n);
    }
}

std::unique_ptr<Session> openSession(const PluginTarget& target, Road road) {
    if (road == Road::Component && target.filterClassId)
        return std::make_unique<ComponentSession>(target.library, *target.filterClassId);
    if (road == Road::Component)
        throw std::runtime_error("'" + target.library.name +
                                 "' is not registered; run 'orq register " + target.library.path +
                                 "' or use --road vc");
    return std::make_unique<ExtensionSession>(target.library);
}

} // namespace orq::host
