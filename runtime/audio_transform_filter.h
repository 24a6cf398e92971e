// The in-place transform filter that carries a host's media samples into a plug-in: it checks
// the media type, converts between interleaved PCM and float blocks, drops the plug-in's
// latency at the start of a stream, delivers flushed tails and persists the settings.
#pragma once

#include "runtime/audio_buffers.h"
#include "runtime/audio_plugin.h"
#include "runtime/sample_conversion.h"

#include <streams.h>

namespace orq {

class AudioTransformFilter : public CTransInPlaceFilter, public IPersistStream {
  public:
    // Takes ownership of plugin, becomes its host and opens it for 44100 Hz, two channels
    // (one if refused). [ui-thread] allocates.
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

    AudioPlugin& plugin() { return *plugin_; }
    bool openedAtCreation() const { return openedAtCreation_; }
    const AudioFormat& inputFormat() const { return inputFormat_; }

  private:
    static int32_t hostCallback(void* context, PluginRecord* record, int32_t request, intptr_t a,
                                void* b);
    int32_t deliverTail(const TailRecord& tail);
    // Frames to drop from the start of produced output, advancing the skip state.
    int32_t skipFor(int32_t produced);
    SampleFormat sampleFormat() const;

    AudioPlugin* plugin_;
    CLSID pageClassId_;
    char name_[64] = {};
    bool openedAtCreation_ = false;
    AudioFormat inputFormat_{};
    AudioFormat outputFormat_{};
    AudioBuffers buffers_;
    int32_t latencyFrames_ = 0;
    int64_t processedFrames_ = 0;
    bool skipping_ = false;
    uint32_t streamVersion_ = 0;
};

} // namespace orq
