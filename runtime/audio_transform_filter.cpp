#include "runtime/audio_transform_filter.h"

#include "runtime/plugin_glue.h"
#include "runtime/registry_keys.h"

#include <algorithm>
#include <cstring>

namespace orq {

// {5F0C1D92-8E43-4A7B-B6D1-2C9E7A40F113}
const IID IID_IAudioPluginRecord = {
    0x5f0c1d92, 0x8e43, 0x4a7b, {0xb6, 0xd1, 0x2c, 0x9e, 0x7a, 0x40, 0xf1, 0x13}};

namespace {
constexpr int32_t kFloatBlockFrames = 8192; // the AudioBuffers capacity
constexpr int32_t kChannelsMax = 2;
constexpr ULONG kWaveFormatBytes = 16;

struct ParameterStreamReader {
    IStream* stream;
    bool read(void* to, ULONG size) {
        ULONG got = 0;
        return SUCCEEDED(stream->Read(to, size, &got)) && got == size;
    }
};
} // namespace

AudioTransformFilter::AudioTransformFilter(AudioPlugin* plugin, REFCLSID filterClassId,
                                           REFCLSID pageClassId, const char* name)
    : CTransInPlaceFilter(filterClassId), plugin_(plugin), pageClassId_(pageClassId),
      buffers_(kChannelsMax, kChannelsMax, kFloatBlockFrames, BufferLayout::Shared) {
    std::strncpy(name_, name != nullptr ? name : "", sizeof name_ - 1);
    plugin_->setHost(&AudioTransformFilter::hostCallback, this);
    PluginRecord* r = &plugin_->record();
    OpenFormat stereo{44100, 2, 0};
    int32_t result = r->dispatcher(r, kCmdOpen, &stereo, 0);
    if (result != 0) {
        OpenFormat mono{44100, 1, 0};
        result = r->dispatcher(r, kCmdOpen, &mono, 0);
    }
    if (result == 0) {
        r->dispatcher(r, kCmdSetMaxBlockSize, nullptr, 0);
        latencyFrames_ = r->dispatcher(r, kCmdLatency, nullptr, 0);
        openedAtCreation_ = true;
    }
}

AudioTransformFilter::~AudioTransformFilter() {
    PluginRecord* r = &plugin_->record();
    r->dispatcher(r, kCmdClose, nullptr, 0);
    delete plugin_;
}

HRESULT AudioTransformFilter::QueryInterface(REFIID iid, void** object) {
    return componentResult([&] {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IPersistStream) return GetInterface<IPersistStream>(this, object);
        if (iid == IID_IAMovieSetup) return GetInterface<IAMovieSetup>(this, object);
        if (iid == IID_IAudioPluginRecord) return GetInterface<IAudioPluginRecord>(this, object);
        return CTransInPlaceFilter::QueryInterface(iid, object);
    });
}

// The filter is its plug-in's host.
int32_t AudioTransformFilter::hostCallback(void* context, PluginRecord*, int32_t request, intptr_t,
                                           void* b) {
    auto* self = static_cast<AudioTransformFilter*>(context);
    switch (request) {
    case kRequestHostMode:
        return kHostModeTakesTail;
    case kRequestTake:
        // A tail that could not be delivered is not taken (0).
        return b != nullptr
                   ? answerOrFailure(
                         0, [&] { return self->deliverTail(*static_cast<TailRecord*>(b)); })
                   : 0;
    case kRequestCompat07:
        if (b != nullptr) *static_cast<int32_t*>(b) = 0;
        return 0;
    case kRequestCompat09:
        return 1;
    default:
        return 0;
    }
}

SampleFormat AudioTransformFilter::sampleFormat() const {
    return inputFormat_.bitsPerSample == 32 ? SampleFormat::Float32 : SampleFormat::Int16;
}

HRESULT AudioTransformFilter::CheckInputType(const CMediaType* type) {
    return componentResult([&]() -> HRESULT {
        if (type == nullptr || type->majortype != MEDIATYPE_Audio) return E_INVALIDARG;
        if (type->cbFormat < kWaveFormatBytes || type->pbFormat == nullptr ||
            type->IsTemporalCompressed())
            return E_INVALIDARG;
        AudioFormat f;
        std::memcpy(&f, type->pbFormat, sizeof f);
        const bool float32 = f.bitsPerSample == 32 && f.formatTag == kFormatFloat;
        const bool int16 = f.bitsPerSample == 16 && f.formatTag == kFormatPcm;
        if (!float32 && !int16) return E_INVALIDARG;
        // The float block holds two channels; the conversions handle one or two.
        if (f.channels < 1 || f.channels > kChannelsMax) return E_INVALIDARG;
        if (f.blockAlign != f.channels * (f.bitsPerSample / 8)) return E_INVALIDARG;
        CheckFormatArgs args{f.channels, f.channels, int32_t(f.samplesPerSec), 0};
        PluginRecord* r = &plugin_->record();
        if (r->dispatcher(r, kCmdCheckFormat, &args, 0) > 0) return E_INVALIDARG;
        return S_OK;
    });
}

HRESULT AudioTransformFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type) {
    return componentResult([&]() -> HRESULT {
        if (direction != PINDIR_INPUT || type == nullptr || type->cbFormat < kWaveFormatBytes)
            return S_OK;
        {
            ScopedLock lock(filterLock_);
            std::memcpy(&inputFormat_, type->pbFormat, sizeof inputFormat_);
            outputFormat_ = inputFormat_;
        }
        OpenFormat f{int32_t(inputFormat_.samplesPerSec), inputFormat_.channels, 0};
        PluginRecord* r = &plugin_->record();
        r->dispatcher(r, kCmdFormatChanged, &f, 0);
        return S_OK;
    });
}

HRESULT AudioTransformFilter::StartStreaming() {
    return componentResult([&]() -> HRESULT {
        PluginRecord* r = &plugin_->record();
        latencyFrames_ = r->dispatcher(r, kCmdLatency, nullptr, 0);
        r->dispatcher(r, kCmdStart, nullptr, 0);
        skip_.start(latencyFrames_);
        return S_OK;
    });
}

HRESULT AudioTransformFilter::StopStreaming() {
    return componentResult([&]() -> HRESULT {
        PluginRecord* r = &plugin_->record();
        r->dispatcher(r, kCmdStop, nullptr, 0);
        return S_OK;
    });
}

HRESULT AudioTransformFilter::EndOfStream() {
    return componentResult([&]() -> HRESULT {
        // The tail is delivered before end of stream goes downstream.
        if (plugin_->isRunning()) {
            PluginRecord* r = &plugin_->record();
            r->dispatcher(r, kCmdStop, nullptr, 0);
        }
        return CTransInPlaceFilter::EndOfStream();
    });
}

HRESULT AudioTransformFilter::Transform(IMediaSample* sample) {
    return componentResult([&]() -> HRESULT {
        ScopedLock lock(filterLock_);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const int32_t blockAlign = inputFormat_.blockAlign;
        const int32_t frames = blockAlign > 0 ? sample->GetActualDataLength() / blockAlign : 0;
        if (frames < 1) {
            sample->SetActualDataLength(0);
            return S_OK;
        }
        if ((plugin_->record().flags & kRecordFlagsRawPath) != 0)
            return transformRaw(sample, data, frames);
        const SampleFormat format = sampleFormat();
        const int32_t channels = inputFormat_.channels;
        int32_t readFrame = 0;
        int32_t written = 0;
        while (readFrame < frames) {
            const int32_t chunk = std::min(frames - readFrame, kFloatBlockFrames);
            convertIn(data + size_t(readFrame) * size_t(blockAlign), format, channels,
                      buffers_.inputs(), chunk);
            buffers_.setFrames(chunk);
            const int32_t produced = plugin_->processMetered(buffers_);
            if (produced < 0) return produced;
            const int32_t skip = skip_.skipFor(produced);
            const int32_t kept = produced - skip;
            if (kept > 0)
                convertOut(buffers_.outputs(), skip, format, channels,
                           data + size_t(written) * size_t(blockAlign), kept);
            written += kept;
            readFrame += chunk;
        }
        sample->SetActualDataLength(written * blockAlign);
        return S_OK;
    });
}

HRESULT AudioTransformFilter::transformRaw(IMediaSample* sample, BYTE* data, int32_t frames) {
    PluginRecord* r = &plugin_->record();
    const int32_t inAlign = inputFormat_.blockAlign;
    int32_t outAlign = inAlign;
    int32_t produced = frames;
    if (r->bypass != 0) {
        if (plugin_->outputChannels() > plugin_->inputChannels() && inputFormat_.channels == 1) {
            // Each sample becomes the same sample on two channels, from the end backwards so
            // the buffer can be shared.
            const int32_t bytes = inputFormat_.bitsPerSample / 8;
            if (sample->GetSize() < frames * 2 * bytes) return VFW_E_BUFFER_OVERFLOW;
            for (int32_t i = frames - 1; i >= 0; --i) {
                std::memmove(data + size_t(2 * i + 1) * size_t(bytes),
                             data + size_t(i) * size_t(bytes), size_t(bytes));
                std::memmove(data + size_t(2 * i) * size_t(bytes), data + size_t(i) * size_t(bytes),
                             size_t(bytes));
            }
            outAlign = 2 * bytes;
        }
    } else {
        AudioBuffers raw(AudioBuffers::kRaw, data, data, frames);
        produced =
            inputFormat_.bitsPerSample == 16 ? r->process(r, &raw) : r->processReplacing(r, &raw);
        if (produced < 0) return produced;
    }
    const int32_t skip = skip_.skipFor(produced);
    const int32_t kept = produced - skip;
    if (skip > 0 && kept > 0)
        std::memmove(data, data + size_t(skip) * size_t(outAlign), size_t(kept) * size_t(outAlign));
    sample->SetActualDataLength(kept * outAlign);
    return S_OK;
}

int32_t AudioTransformFilter::deliverTail(const TailRecord& tail) {
    int32_t offset = 0;
    int32_t remaining = tail.frames;
    // Frames still owed to the latency skip come off the start of the tail.
    const int32_t skip = std::min(skip_.skipFor(remaining), remaining);
    offset += skip;
    remaining -= skip;
    const int32_t blockAlign = outputFormat_.blockAlign;
    const SampleFormat format = sampleFormat();
    while (remaining > 0) {
        IMediaSample* out = nullptr;
        HRESULT hr = OutputPin()->GetDeliveryBuffer(&out);
        if (FAILED(hr)) return hr;
        BYTE* data = nullptr;
        out->GetPointer(&data);
        const int32_t fit =
            std::min<int32_t>(remaining, blockAlign > 0 ? int32_t(out->GetSize() / blockAlign) : 0);
        if (fit <= 0) {
            out->Release();
            return E_FAIL;
        }
        std::memset(data, 0, size_t(out->GetSize()));
        convertOut(tail.buffers, offset, format, outputFormat_.channels, data, fit);
        out->SetActualDataLength(fit * blockAlign);
        hr = OutputPin()->Deliver(out);
        out->Release();
        if (FAILED(hr)) return hr;
        offset += fit;
        remaining -= fit;
    }
    return 1;
}

// Persistence
// ---------------------------------------------------------------------------------------

HRESULT AudioTransformFilter::GetSizeMax(ULARGE_INTEGER* size) {
    return componentResult([&]() -> HRESULT {
        if (size == nullptr) return E_POINTER;
        size->QuadPart = streamSizeMax(plugin_->parameters());
        return S_OK;
    });
}

HRESULT AudioTransformFilter::Save(IStream* stream, BOOL) {
    return componentResult([&]() -> HRESULT {
        if (stream == nullptr) return E_POINTER;
        ParameterSet& set = plugin_->parameters();
        set.setMode(kModePersisted);
        PluginRecord* r = &plugin_->record();
        if (openedAtCreation_) {
            r->dispatcher(r, kCmdSaveSettings, set.iface(), kModePersisted);
        } else if (r->editor != nullptr) {
            r->editor->command(kEdSave, set.iface(), kModePersisted);
        }
        const std::vector<uint8_t> bytes = saveParameterStream(set, streamVersion_);
        ULONG written = 0;
        HRESULT hr = stream->Write(bytes.data(), ULONG(bytes.size()), &written);
        if (FAILED(hr)) return hr;
        return written == bytes.size() ? S_OK : E_FAIL;
    });
}

HRESULT AudioTransformFilter::Load(IStream* stream) {
    return componentResult([&]() -> HRESULT {
        if (stream == nullptr) return E_POINTER;
        ParameterSet& set = plugin_->parameters();
        // The stream's layout follows the set's own; read exactly that much, then validate.
        std::vector<uint8_t> bytes(streamSizeMax(set));
        ParameterStreamReader reader{stream};
        if (!reader.read(bytes.data(), ULONG(bytes.size()))) return E_FAIL;
        PluginRecord* r = &plugin_->record();
        bool loaded = false;
        {
            ScopedLock lock(plugin_->lock());
            loaded = loadParameterStream(set, bytes.data(), bytes.size(), &streamVersion_);
        }
        if (!loaded) return E_FAIL;
        r->dispatcher(r, kCmdLoadSettings, set.iface(), kModePersisted);
        if (r->editor != nullptr) r->editor->command(kEdLoad, set.iface(), kModePersisted);
        return S_OK;
    });
}

HRESULT AudioTransformFilter::Register() {
    return componentResult([&]() -> HRESULT {
        CLSID id;
        GetClassID(&id);
        return registerFilterKey(id, name_);
    });
}

HRESULT AudioTransformFilter::Unregister() {
    return componentResult([&]() -> HRESULT {
        CLSID id;
        GetClassID(&id);
        return unregisterFilterKey(id);
    });
}

} // namespace orq
