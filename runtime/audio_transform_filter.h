// The in-place transform filter that carries a host's media samples into a plug-in: it checks
// the media type, converts between interleaved PCM and float blocks, drops the plug-in's
// latency at the start of a stream, delivers flushed tails and persists the settings.
#pragma once

#include "runtime/audio_buffers.h"
#include "runtime/audio_plugin.h"
#include "runtime/latency_skip.h"
#include "runtime/sample_conversion.h"

#include <streams.h>

#include <new>

namespace orq {

// Runs the body of a component interface's method: whatever it throws becomes the failure its
// interface defines, E_OUTOFMEMORY for a failed allocation and E_FAIL for anything else.
template <class Body> HRESULT componentResult(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Gives a host of this family the plug-in record behind a filter (meters, latency).
struct IAudioPluginRecord : IUnknown {
    virtual PluginRecord* Record() = 0;

  protected:
    ~IAudioPluginRecord() = default;
};
extern const IID IID_IAudioPluginRecord;

class AudioTransformFilter : public CTransInPlaceFilter,
                             public IPersistStream,
                             public IAMovieSetup,
                             public IAudioPluginRecord {
  public:
    // Takes ownership of plugin once constructed (a constructor that throws leaves it to the
    // caller), becomes its host and opens it for 44100 Hz, two channels (one if refused).
    // [ui-thread] allocates. Every method below lets no exception out (componentResult).
    AudioTransformFilter(AudioPlugin* plugin, REFCLSID filterClassId, REFCLSID pageClassId,
                         const char* name);
    ~AudioTransformFilter() override;

    // IUnknown, resolved once for every base.
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return CTransInPlaceFilter::AddRef(); }
    ULONG Release() override { return CTransInPlaceFilter::Release(); }
    HRESULT GetClassID(CLSID* classId) override { return CTransInPlaceFilter::GetClassID(classId); }

    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT EndOfStream() override;
    // [audio-thread] no allocation on the copy path.
    HRESULT Transform(IMediaSample* sample) override;

    // IPersistStream
    HRESULT IsDirty() override { return S_OK; }
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* size) override;

    // IAMovieSetup: the Filter\{class id} key.
    HRESULT Register() override;
    HRESULT Unregister() override;

    PluginRecord* Record() override { return &plugin_->record(); }

    AudioPlugin& plugin() { return *plugin_; }
    bool openedAtCreation() const { return openedAtCreation_; }
    const AudioFormat& inputFormat() const { return inputFormat_; }

  private:
    static int32_t hostCallback(void* context, PluginRecord* record, int32_t request, intptr_t a,
                                void* b);
    int32_t deliverTail(const TailRecord& tail);
    // Plug-ins that take the PCM buffer as it is (record flags bit 3 or 4).
    HRESULT transformRaw(IMediaSample* sample, BYTE* data, int32_t frames);
    SampleFormat sampleFormat() const;

    AudioPlugin* plugin_;
    CLSID pageClassId_;
    char name_[64] = {};
    bool openedAtCreation_ = false;
    AudioFormat inputFormat_{};
    AudioFormat outputFormat_{};
    AudioBuffers buffers_;
    int32_t latencyFrames_ = 0;
    LatencySkip skip_;
    uint32_t streamVersion_ = 0;
};

} // namespace orq
