#include "host/filter_graph.h"

namespace orq::host {

HRESULT SourcePin::QueryInterface(REFIID iid, void** object) {
    if (iid == IID_IUnknown || iid == IID_IPin) return GetInterface<IPin>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT SourcePin::ConnectedTo(IPin** pin) {
    *pin = nullptr;
    return VFW_E_NOT_CONNECTED;
}

HRESULT SourcePin::QueryDirection(PIN_DIRECTION* direction) {
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

HRESULT SourcePin::QueryId(LPWSTR* id) {
    *id = nullptr;
    return E_NOTIMPL;
}

HRESULT SinkPin::QueryInterface(REFIID iid, void** object) {
    if (iid == IID_IUnknown || iid == IID_IPin) return GetInterface<IPin>(this, object);
    if (iid == IID_IMemInputPin) return GetInterface<IMemInputPin>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT SinkPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE* type) {
    return type != nullptr && type->majortype == MEDIATYPE_Audio ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SinkPin::ConnectedTo(IPin** pin) {
    *pin = nullptr;
    return VFW_E_NOT_CONNECTED;
}

HRESULT SinkPin::QueryDirection(PIN_DIRECTION* direction) {
    *direction = PINDIR_INPUT;
    return S_OK;
}

HRESULT SinkPin::QueryId(LPWSTR* id) {
    *id = nullptr;
    return E_NOTIMPL;
}

HRESULT SinkPin::EndOfStream() {
    ended_ = true;
    return S_OK;
}

HRESULT SinkPin::GetAllocator(IMemAllocator** allocator) {
    *allocator = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT SinkPin::Receive(IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const int64_t frames = sample->GetActualDataLength() / bytesPerFrame_;
    receivedFrames_ += frames;
    ++samplesReceived_;
    if (receiver_) receiver_(data, frames);
    return S_OK;
}

} // namespace orq::host
