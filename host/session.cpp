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
#include <exception>
#include <sstream>
#include <stdexcept>

namespace orq::host {

namespace {

constexpr int32_t kChunkFramesMax = 8192; // the host's float block
constexpr int32_t kChannelsMax = 2;
constexpr int32_t kShapeMaxPoints = 15;
constexpr int32_t kShapeRecordBytes = 124; // x[15], y[15], count

} // namespace

// Parsing
// ------------------------------------------------------------------------------------------

// A decimal number (sign, digits, point, exponent): the library's parser would also take
// hexadecimal ("0x10"), "inf" and "nan", none of which a setting means.
float parseNumber(const std::string& text, const std::string& what) {
    const bool decimal = text.find_first_not_of("0123456789+-.eE") == std::string::npos &&
                         text.find_first_of("0123456789") != std::string::npos &&
                         !text.starts_with('e') && !text.starts_with('E');
    char* end = nullptr;
    errno = 0;
    const float v = decimal ? std::strtof(text.c_str(), &end) : 0.0f;
    if (!decimal || end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v))
        throw std::runtime_error("'" + text + "' is not a number (" + what + "; decimal only)");
    return v;
}

namespace {

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
        if (n > 0) std::memcpy(buffer, bytes_.data() + position_, n); // an empty state has no data
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

// The plug-in's output on its way to the sink: cut at the input's length and, at the end,
// padded with silence to it (a plug-in that returned fewer frames than it took).
class AlignedOutput {
  public:
    AlignedOutput(AudioSink& sink, const StreamFormat& format)
        : sink_(sink), limit_(format.frames), bytesPerFrame_(format.bytesPerFrame()) {}
    void write(const void* bytes, int64_t frames) {
        const int64_t take = std::clamp<int64_t>(limit_ - written_, 0, frames);
        if (take == 0) return;
        sink_.write(bytes, take);
        written_ += take;
    }
    int64_t written() const { return written_; }
    void finish() {
        if (written_ >= limit_) return;
        const std::vector<uint8_t> silence(size_t(kChunkFramesMax) * size_t(bytesPerFrame_), 0);
        while (written_ < limit_)
            write(silence.data(), std::min<int64_t>(limit_ - written_, kChunkFramesMax));
    }

  private:
    AudioSink& sink_;
    int64_t limit_;
    int32_t bytesPerFrame_;
    int64_t written_ = 0;
};

// Reads exactly frames frames (the source's stated length guarantees them).
void readExactly(AudioSource& source, void* bytes, int64_t frames) {
    if (source.read(bytes, frames) != frames)
        throw std::runtime_error("the input ended before its stated length");
}

AudioFormat waveFormat(const StreamFormat& audio) {
    AudioFormat f{};
    f.formatTag = audio.format == SampleFormat::Int16 ? kFormatPcm : kFormatFloat;
    f.channels = uint16_t(audio.channels);
    f.samplesPerSec = uint32_t(audio.sampleRate);
    f.bitsPerSample = audio.format == SampleFormat::Int16 ? 16 : 32;
    f.blockAlign = uint16_t(audio.channels * f.bitsPerSample / 8);
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
    return f;
}

void requireChannels(const StreamFormat& input) {
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
    IUnknown* filter() override { return filter_.p; }

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

    void run(AudioSource& source, AudioSink& sink, RunSummary& summary,
             const Progress& progress) override {
        const StreamFormat& input = source.format();
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
        SourcePin sourcePin;
        HRESULT hr = in->ReceiveConnection(&sourcePin, &type);
        // A plug-in may take the connection by its format check and still fail to open at
        // that format (a rate it has no analysis for); its open status tells, and a run then
        // would only deliver what a closed plug-in delivers.
        if (FAILED(hr))
            throw std::runtime_error("'" + library_.name + "' refuses " + describe(input));
        PluginRecord* plugin = record();
        if (plugin->dispatcher(plugin, kCmdFormatChanged, nullptr, 0) != 0) {
            in->Disconnect(); // the source pin is gone after the throw
            throw std::runtime_error("'" + library_.name + "' refuses " + describe(input));
        }
        in->QueryInterface(IID_IMemInputPin, memIn.voids());

        AlignedOutput output(sink, input);
        // The sink is called from inside the plug-in's library: a failure to write is kept
        // and rethrown here, never thrown through the library's frames.
        bool delivering = true; // a run taken down by a failure writes nothing more
        std::exception_ptr writeFailure;
        SinkPin sinkPin(
            [&](const uint8_t* data, int64_t frames) {
                if (!delivering) return;
                try {
                    output.write(data, frames);
                } catch (...) {
                    writeFailure = std::current_exception();
                    delivering = false;
                }
            },
            input.bytesPerFrame());
        auto rethrowWriteFailure = [&] {
            if (writeFailure) std::rethrow_exception(writeFailure);
        };
        // The graph is taken down however the run ends.
        auto* allocator = new CMemAllocator;
        allocator->AddRef();
        struct Graph {
            IBaseFilter* filter;
            IPin* in;
            IPin* out;
            CMemAllocator* allocator;
            bool& delivering;
            bool running = false;
            ~Graph() {
                delivering = false;
                if (running) filter->Stop();
                out->Disconnect();
                in->Disconnect();
                allocator->Decommit();
                allocator->Release();
            }
        } graph{filter_.p, in.p, out.p, allocator, delivering};
        ALLOCATOR_PROPERTIES request{2, chunkFrames() * wave.blockAlign, 1, 0}, actual{};
        allocator->SetProperties(&request, &actual);
        allocator->Commit();
        memIn->NotifyAllocator(allocator, FALSE);
        hr = out->Connect(&sinkPin, &type);
        if (FAILED(hr))
            throw std::runtime_error("cannot connect the output of '" + library_.name + "'");
        PluginRecord* r = record();
        ParameterInterface* values = r->parameters;
        enableClipCounting(r);
        filter_->Run(0);
        graph.running = true;
        summary.latencyFrames = r->dispatcher(r, kCmdLatency, nullptr, 0);
        const bool tail = summary.latencyFrames > 0 &&
                          deliversTail(library_, values, input.sampleRate, input.channels);
        summary.tailFromPlugin = tail;

        // Each media sample is filled straight from the source (or with silence).
        auto push = [&](int64_t frames, bool silence) {
            IMediaSample* sample = nullptr;
            if (FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0)))
                throw std::runtime_error("no media sample");
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            const size_t size = size_t(frames) * size_t(wave.blockAlign);
            try {
                if (silence)
                    std::memset(data, 0, size);
                else
                    readExactly(source, data, frames);
            } catch (...) {
                sample->Release();
                throw;
            }
            sample->SetActualDataLength(long(size));
            const HRESULT received = memIn->Receive(sample);
            sample->Release();
            rethrowWriteFailure();
            if (FAILED(received)) throw std::runtime_error("the plug-in failed while processing");
        };
        for (int64_t at = 0; at < input.frames; at += chunkFrames()) {
            const int64_t frames = std::min<int64_t>(chunkFrames(), input.frames - at);
            push(frames, false);
            if (progress) progress(at + frames, input.frames);
        }
        // A plug-in without a tail gets silence that pushes its delayed output out.
        if (!tail)
            for (int64_t left = input.frames - sinkPin.receivedFrames(); left > 0;
                 left -= chunkFrames())
                push(std::min<int64_t>(left, chunkFrames()), true);
        in->EndOfStream();
        filter_->Stop();
        graph.running = false;
        rethrowWriteFailure();
        readMeters(r, input.channels, summary);
        output.finish();
    }

  private:
    static std::string hex(HRESULT hr) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X", uint32_t(hr));
        return text;
    }
    static std::string describe(const StreamFormat& input) {
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

    void run(AudioSource& source, AudioSink& sink, RunSummary& summary,
             const Progress& progress) override {
        const StreamFormat& input = source.format();
        PluginRecord* r = record_;
        const int32_t latency = startStream(input, chunkFrames());
        const bool tail =
            latency > 0 && deliversTail(library_, r->parameters, input.sampleRate, input.channels);
        summary.latencyFrames = latency;
        summary.tailFromPlugin = tail;
        skip_.start(latency);
        AlignedOutput output(sink, input);
        output_ = &output;
        format_ = input.format;
        channels_ = input.channels;
        const int32_t bytesPerFrame = input.bytesPerFrame();
        staging_.assign(size_t(chunkFrames()) * size_t(bytesPerFrame), 0);
        scratch_.resize(size_t(kChunkFramesMax) * size_t(bytesPerFrame));
        struct Detach {
            ExtensionSession* self;
            ~Detach() { self->output_ = nullptr; }
        } detach{this};

        for (int64_t at = 0; at < input.frames; at += chunkFrames()) {
            const int32_t frames = int32_t(std::min<int64_t>(chunkFrames(), input.frames - at));
            readExactly(source, staging_.data(), frames);
            processChunk(staging_.data(), frames);
            if (progress) progress(at + frames, input.frames);
        }
        if (!tail) {
            std::fill(staging_.begin(), staging_.end(), uint8_t{0});
            while (output.written() < input.frames)
                processChunk(staging_.data(), int32_t(std::min<int64_t>(
                                                  chunkFrames(), input.frames - output.written())));
        }
        tailFailure_ = nullptr;
        r->dispatcher(r, kCmdStop, nullptr, 0);
        if (tailFailure_) std::rethrow_exception(tailFailure_);
        readMeters(r, input.channels, summary);
        output.finish();
    }

  private:
    void processChunk(const uint8_t* bytes, int32_t frames) {
        convertIn(bytes, format_, channels_, buffers_.inputs(), frames);
        buffers_.setFrames(frames);
        const int32_t produced = record_->process(record_, &buffers_);
        if (produced < 0) throw std::runtime_error("the plug-in failed while processing");
        take(buffers_.outputs(), produced);
    }
    // Output of the plug-in (processed or tail) after the latency skip.
    void take(float* const* channels, int32_t produced) {
        const int32_t skip = std::min(skip_.skipFor(produced), produced);
        const int32_t kept = produced - skip;
        if (kept <= 0 || output_ == nullptr) return;
        convertOut(channels, skip, format_, channels_, scratch_.data(), kept);
        output_->write(scratch_.data(), kept);
    }
    static int32_t hostCallback(void* context, PluginRecord*, int32_t request, intptr_t, void* b) {
        auto* self = static_cast<ExtensionSession*>(context);
        if (request == kRequestHostMode) return kHostModeTakesTail;
        if (request == kRequestTake && b != nullptr) {
            // Called from inside the plug-in's library: a failure to write is kept and
            // rethrown by run, never thrown through the library's frames.
            const auto* tail = static_cast<const TailRecord*>(b);
            try {
                for (int32_t at = 0; at < tail->frames; at += kChunkFramesMax) {
                    const int32_t frames = std::min(kChunkFramesMax, tail->frames - at);
                    std::array<float*, kChannelsMax> pointers{};
                    for (int32_t c = 0; c < std::min(tail->channels, kChannelsMax); ++c)
                        pointers[size_t(c)] = tail->buffers[c] + at;
                    self->take(pointers.data(), frames);
                }
            } catch (...) {
                self->tailFailure_ = std::current_exception();
                return 0;
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
    AlignedOutput* output_ = nullptr; // while a run lasts
    std::exception_ptr tailFailure_;  // a failure while taking the tail
    SampleFormat format_ = SampleFormat::Int16;
    int32_t channels_ = 0;
    std::vector<uint8_t> staging_; // one chunk of input
    std::vector<uint8_t> scratch_; // one converted chunk of output
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

int32_t Session::startStream(const StreamFormat& format, int32_t maxFramesPerCall) {
    if (road_ != Road::HostExtension)
        throw std::logic_error("a stream of the host's own runs on the host extension road");
    requireChannels(format);
    PluginRecord* r = record();
    OpenFormat f{format.sampleRate, format.channels, 0};
    const int32_t result = r->dispatcher(r, kCmdFormatChanged, &f, 0);
    if (result != 0 || r->bypass != 0)
        throw std::runtime_error("'" + library_.name + "' refuses " +
                                 std::to_string(format.channels) + "-channel " +
                                 std::to_string(format.sampleRate) + " Hz audio");
    r->dispatcher(r, kCmdSetMaxBlockSize, nullptr, std::clamp(maxFramesPerCall, 1, kChunkFramesMax));
    enableClipCounting(r);
    const int32_t latency = r->dispatcher(r, kCmdLatency, nullptr, 0);
    r->dispatcher(r, kCmdStart, nullptr, 0);
    streamChannels_ = format.channels;
    return latency;
}

void Session::stopStream(RunSummary& summary) {
    PluginRecord* r = record();
    r->dispatcher(r, kCmdStop, nullptr, 0);
    readMeters(r, streamChannels_, summary);
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

namespace {

// The description a set gives for a parameter it has no range record for (−1 … 1, step 0.1,
// no unit): it bounds nothing, so a value is not held to it.
bool isGenericDescription(const ParameterInfo& info) {
    return info.minimum == -1.0f && info.maximum == 1.0f && info.step == 0.1f &&
           info.unit[0] == '\0';
}

// The maximizer announces its HeadRoom as −4 … 4, but its editor's rocker and its engine take
// −9 … 9; a command line may set what the editor can.
constexpr float kHeadRoomEditorLimit = 9.0f;

void refuseOutsideAnnouncedRange(ParameterInterface* set, int32_t index, const std::string& key,
                                 float value) {
    ParameterInfo info{};
    set->getInfo(set, index, &info);
    if (info.flag == 0 || !(info.maximum > info.minimum) || isGenericDescription(info)) return;
    float minimum = info.minimum, maximum = info.maximum;
    if (key == "HeadRoom" && minimum == -4.0f && maximum == 4.0f) {
        minimum = -kHeadRoomEditorLimit;
        maximum = kHeadRoomEditorLimit;
    }
    if (value < minimum || value > maximum) {
        std::ostringstream message;
        message << "'" << key << "' takes " << minimum << " … " << maximum << ", not " << value;
        throw std::runtime_error(message.str());
    }
}

} // namespace

void applySettings(ParameterInterface* set, int32_t count, const std::vector<Setting>& settings) {
    for (const Setting& s : settings) {
        const int32_t index = indexOfKey(set, count, s.key);
        if (index < 0)
            throw std::runtime_error("unknown parameter '" + s.key +
                                     "' (known: " + knownKeys(set, count) + ")");
        // What the set does not persist is shown, not set (a spectrum, a size the display
        // reports): a value written there would be dropped or overwritten by the plug-in.
        if (set->isPersisted(set, index) == 0)
            throw std::runtime_error("'" + s.key + "' is a displayed value, not a setting");
        int32_t n = 0, size = 0;
        const bool isArray = set->arrayInfo(set, index, &n, &size) == 0;
        if (!isArray) {
            if (s.element >= 0) throw std::runtime_error("'" + s.key + "' is not an array");
            const float value = parseNumber(s.value, s.key);
            refuseOutsideAnnouncedRange(set, index, s.key, value);
            set->setFloat(set, index, value);
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

int32_t parameterIndex(ParameterInterface* set, const std::string& key) {
    return indexOfKey(set, set->owner->count(), key);
}

int32_t requireParameter(ParameterInterface* set, const std::string& key) {
    const int32_t index = parameterIndex(set, key);
    if (index < 0)
        throw std::runtime_error("the plug-in has no parameter '" + key +
                                 "' (known: " + knownKeys(set, set->owner->count()) + ")");
    return index;
}

std::unique_ptr<Session> openSession(const PluginTarget& target, Road road) {
    if (road == Road::Component && target.filterClassId)
        return std::make_unique<ComponentSession>(target.library, *target.filterClassId);
    if (road == Road::Component && !target.registryProblem.empty())
        throw std::runtime_error("the component road needs the registry: " +
                                 target.registryProblem + "; or use --road vc");
    if (road == Road::Component)
        throw std::runtime_error("'" + target.library.name +
                                 "' is not registered; run 'orq register " + target.library.path +
                                 "' or use --road vc");
    return std::make_unique<ExtensionSession>(target.library);
}

} // namespace orq::host
