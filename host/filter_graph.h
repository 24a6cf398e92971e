// The two ends of a host's filter graph around one transform filter: a source pin to connect
// the filter's input to, and a sink pin that receives what the filter delivers.
#pragma once

#include <streams.h>

#include <functional>

namespace orq::host {

// Exists only to be the filter input's connected pin; the host pushes samples itself.
class SourcePin final : public IPin {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT Disconnect() override { return S_OK; }
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE*) override { return VFW_E_NOT_CONNECTED; }
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(LPWSTR* id) override;
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
};

// Hands every delivered sample's frames to a receiver and counts them.
class SinkPin final : public IPin, public IMemInputPin {
  public:
    using Receiver = std::function<void(const uint8_t* data, int64_t frames)>;
    SinkPin(Receiver receiver, int32_t bytesPerFrame)
        : receiver_(std::move(receiver)), bytesPerFrame_(bytesPerFrame) {}
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT ReceiveConnection(IPin*, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override { return S_OK; }
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE*) override { return VFW_E_NOT_CONNECTED; }
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(LPWSTR* id) override;
    HRESULT EndOfStream() override;
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
    HRESULT Receive(IMediaSample* sample) override;
    int64_t receivedFrames() const { return receivedFrames_; }
    int32_t samplesReceived() const { return samplesReceived_; }
    bool ended() const { return ended_; }

  private:
    Receiver receiver_;
    int32_t bytesPerFrame_;
    int64_t receivedFrames_ = 0;
    int32_t samplesReceived_ = 0;
    bool ended_ = false;
};

} // namespace orq::host
