// DirectShow subset: media types, samples, allocator, pins and the in-place transform filter.
#include <streams.h>

#include <cstdlib>
#include <cstring>
#include <new>

extern "C" {
// {73647561-0000-0010-8000-00AA00389B71}: "auds" in its first four bytes.
const GUID MEDIATYPE_Audio = {
    0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIASUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIASUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID FORMAT_WaveFormatEx = {
    0x05589f81, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
const IID IID_IMediaSample = {
    0x56a8689a, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const IID IID_IMemAllocator = {
    0x56a8689c, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const IID IID_IPin = {0x56a86891, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const IID IID_IMemInputPin = {
    0x56a8689d, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const IID IID_IMediaFilter = {
    0x56a86899, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const IID IID_IBaseFilter = {
    0x56a86895, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const IID IID_IAMovieSetup = {
    0xa3d8cec0, 0x7e5a, 0x11cf, {0xbb, 0xc5, 0x00, 0x80, 0x5f, 0x6c, 0xef, 0x20}};
}

// Media types ---------------------------------------------------------------------------------

CMediaType::CMediaType() : AM_MEDIA_TYPE{} {}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE{} {
    *this = other;
}

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE{} {
    *this = other;
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
    return *this = static_cast<const AM_MEDIA_TYPE&>(other);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
    if (&other == this) return *this;
    BYTE* oldFormat = pbFormat;
    static_cast<AM_MEDIA_TYPE&>(*this) = other;
    pbFormat = nullptr;
    cbFormat = 0;
    pUnk = nullptr;
    SetFormat(other.pbFormat, other.cbFormat);
    CoTaskMemFree(oldFormat);
    return *this;
}

CMediaType::~CMediaType() {
    CoTaskMemFree(pbFormat);
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length) {
    BYTE* copy = nullptr;
    if (length > 0 && format != nullptr) {
        copy = static_cast<BYTE*>(CoTaskMemAlloc(length));
        if (copy == nullptr) return false;
        std::memcpy(copy, format, length);
    }
    CoTaskMemFree(pbFormat);
    pbFormat = copy;
    cbFormat = copy != nullptr ? length : 0;
    return true;
}

// Samples and allocator ----------------------------------------------------------------------

CMediaSample::CMediaSample(CMemAllocator* allocator, BYTE* buffer, long size)
    : allocator_(allocator), buffer_(buffer), size_(size) {}

HRESULT CMediaSample::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMediaSample)
        return GetInterface<IMediaSample>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG CMediaSample::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) allocator_->ReleaseBuffer(this);
    return static_cast<ULONG>(left);
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
    if (buffer == nullptr) return E_POINTER;
    *buffer = buffer_;
    return S_OK;
}

HRESULT CMediaSample::SetActualDataLength(long length) {
    if (length < 0 || length > size_) return VFW_E_BUFFER_OVERFLOW;
    length_ = length;
    return S_OK;
}

CMemAllocator::CMemAllocator() {
    InitializeCriticalSection(&lock_);
}

CMemAllocator::~CMemAllocator() {
    for (CMediaSample* s : samples_)
        delete s;
    DeleteCriticalSection(&lock_);
}

HRESULT CMemAllocator::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMemAllocator)
        return GetInterface<IMemAllocator>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CMemAllocator::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG CMemAllocator::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
    if (request == nullptr || actual == nullptr) return E_POINTER;
    if (request->cBuffers <= 0 || request->cbBuffer <= 0) return E_INVALIDARG;
    EnterCriticalSection(&lock_);
    if (committed_) {
        LeaveCriticalSection(&lock_);
        return VFW_E_WRONG_STATE;
    }
    properties_ = *request;
    properties_.cbAlign = properties_.cbAlign > 0 ? properties_.cbAlign : 1;
    *actual = properties_;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
    if (properties == nullptr) return E_POINTER;
    *properties = properties_;
    return S_OK;
}

HRESULT CMemAllocator::Commit() {
    EnterCriticalSection(&lock_);
    HRESULT hr = S_OK;
    if (properties_.cBuffers <= 0) {
        hr = VFW_E_SIZENOTSET;
    } else if (!committed_) {
        if (samples_.empty()) {
            try {
                const size_t each = static_cast<size_t>(properties_.cbBuffer);
                memory_.assign(each * static_cast<size_t>(properties_.cBuffers), 0);
                for (long i = 0; i < properties_.cBuffers; ++i)
                    samples_.push_back(new CMediaSample(this, memory_.data() + each * size_t(i),
                                                        properties_.cbBuffer));
                free_ = samples_;
            } catch (const std::bad_alloc&) {
                hr = E_OUTOFMEMORY;
            }
        }
        committed_ = SUCCEEDED(hr);
    }
    LeaveCriticalSection(&lock_);
    return hr;
}

HRESULT CMemAllocator::Decommit() {
    EnterCriticalSection(&lock_);
    committed_ = false;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

HRESULT CMemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) {
    if (sample == nullptr) return E_POINTER;
    *sample = nullptr;
    EnterCriticalSection(&lock_);
    HRESULT hr = S_OK;
    if (!committed_) {
        hr = VFW_E_NOT_COMMITTED;
    } else if (free_.empty()) {
        hr = VFW_E_TIMEOUT;
    } else {
        CMediaSample* s = free_.back();
        free_.pop_back();
        s->SetActualDataLength(0);
        s->AddRef();
        *sample = s;
        // The allocator lives while any of its samples is out.
        AddRef();
    }
    LeaveCriticalSection(&lock_);
    return hr;
}

HRESULT CMemAllocator::ReleaseBuffer(IMediaSample* sample) {
    EnterCriticalSection(&lock_);
    free_.push_back(static_cast<CMediaSample*>(sample));
    LeaveCriticalSection(&lock_);
    Release();
    return S_OK;
}

// Pins -----------------------------------------------------------------------------------------

CTransInPlacePin::CTransInPlacePin(CTransInPlaceFilter* filter, PIN_DIRECTION direction,
                                   const WCHAR* name)
    : filter_(filter), direction_(direction), name_(name) {}

CTransInPlacePin::~CTransInPlacePin() {
    if (connected_ != nullptr) connected_->Release();
}

HRESULT CTransInPlacePin::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) return GetInterface<IPin>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

// Pins live as long as their filter and count their references there.
ULONG CTransInPlacePin::AddRef() {
    return filter_->AddRef();
}
ULONG CTransInPlacePin::Release() {
    return filter_->Release();
}

HRESULT CTransInPlacePin::Disconnect() {
    if (connected_ == nullptr) return S_FALSE;
    connected_->Release();
    connected_ = nullptr;
    return S_OK;
}

HRESULT CTransInPlacePin::ConnectedTo(IPin** pin) {
    if (pin == nullptr) return E_POINTER;
    *pin = connected_;
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    connected_->AddRef();
    return S_OK;
}

HRESULT CTransInPlacePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) return E_POINTER;
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    *type = mediaType_;
    type->pbFormat = nullptr;
    type->cbFormat = 0;
    if (mediaType_.cbFormat > 0) {
        type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(mediaType_.cbFormat));
        if (type->pbFormat == nullptr) return E_OUTOFMEMORY;
        std::memcpy(type->pbFormat, mediaType_.pbFormat, mediaType_.cbFormat);
        type->cbFormat = mediaType_.cbFormat;
    }
    return S_OK;
}

HRESULT CTransInPlacePin::QueryDirection(PIN_DIRECTION* direction) {
    if (direction == nullptr) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

HRESULT CTransInPlacePin::QueryId(LPWSTR* id) {
    if (id == nullptr) return E_POINTER;
    size_t n = 0;
    while (name_[n] != 0)
        ++n;
    *id = static_cast<LPWSTR>(CoTaskMemAlloc((n + 1) * sizeof(WCHAR)));
    if (*id == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*id, name_, (n + 1) * sizeof(WCHAR));
    return S_OK;
}

CTransInPlaceInputPin::CTransInPlaceInputPin(CTransInPlaceFilter* filter)
    : CTransInPlacePin(filter, PINDIR_INPUT, u"Input") {}

CTransInPlaceInputPin::~CTransInPlaceInputPin() {
    if (allocator_ != nullptr) allocator_->Release();
}

HRESULT CTransInPlaceInputPin::Disconnect() {
    if (allocator_ != nullptr) {
        allocator_->Release();
        allocator_ = nullptr;
    }
    return CTransInPlacePin::Disconnect();
}

HRESULT CTransInPlaceInputPin::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IMemInputPin) return GetInterface<IMemInputPin>(this, object);
    return CTransInPlacePin::QueryInterface(iid, object);
}

ULONG CTransInPlaceInputPin::AddRef() {
    return CTransInPlacePin::AddRef();
}
ULONG CTransInPlaceInputPin::Release() {
    return CTransInPlacePin::Release();
}

HRESULT CTransInPlaceInputPin::Connect(IPin*, const AM_MEDIA_TYPE*) {
    return E_UNEXPECTED; // an input pin is connected by its upstream pin
}

HRESULT CTransInPlaceInputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (connector == nullptr || type == nullptr) return E_POINTER;
    if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
    if (filter_->State() != State_Stopped) return VFW_E_WRONG_STATE;
    CMediaType candidate(*type);
    HRESULT hr = filter_->CheckInputType(&candidate);
    if (FAILED(hr)) return hr;
    hr = filter_->SetMediaType(PINDIR_INPUT, &candidate);
    if (FAILED(hr)) return hr;
    mediaType_ = candidate;
    connected_ = connector;
    connected_->AddRef();
    return S_OK;
}

HRESULT CTransInPlaceInputPin::EndOfStream() {
    return filter_->EndOfStream();
}

HRESULT CTransInPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
    if (allocator == nullptr) return E_POINTER;
    *allocator = nullptr;
    return VFW_E_NOT_FOUND; // the upstream pin brings its own
}

HRESULT CTransInPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL) {
    if (allocator == nullptr) return E_POINTER;
    allocator->AddRef();
    if (allocator_ != nullptr) allocator_->Release();
    allocator_ = allocator;
    return S_OK;
}

HRESULT CTransInPlaceInputPin::Receive(IMediaSample* sample) {
    if (sample == nullptr) return E_POINTER;
    if (filter_->State() == State_Stopped) return VFW_E_WRONG_STATE;
    return filter_->Receive(sample);
}

CTransInPlaceOutputPin::CTransInPlaceOutputPin(CTransInPlaceFilter* filter)
    : CTransInPlacePin(filter, PINDIR_OUTPUT, u"Output") {}

CTransInPlaceOutputPin::~CTransInPlaceOutputPin() {
    if (downstream_ != nullptr) downstream_->Release();
    if (allocator_ != nullptr) allocator_->Release();
}

HRESULT CTransInPlaceOutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    if (receivePin == nullptr) return E_POINTER;
    if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
    CTransInPlaceInputPin* input = filter_->InputPin();
    if (!input->IsConnected()) return VFW_E_NOT_CONNECTED;
    // An in-place transform offers downstream exactly the type its input carries.
    const CMediaType& offered = input->CurrentMediaType();
    if (type != nullptr && (type->majortype != offered.majortype)) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = receivePin->ReceiveConnection(this, &offered);
    if (FAILED(hr)) return hr;
    IMemInputPin* memInput = nullptr;
    hr = receivePin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&memInput));
    if (FAILED(hr)) {
        receivePin->Disconnect();
        return hr;
    }
    auto* allocator = new (std::nothrow) CMemAllocator;
    if (allocator == nullptr) {
        memInput->Release();
        receivePin->Disconnect();
        return E_OUTOFMEMORY;
    }
    allocator->AddRef();
    ALLOCATOR_PROPERTIES request{4, 1, 1, 0}, actual{};
    if (IMemAllocator* upstream = input->Allocator()) upstream->GetProperties(&request);
    if (request.cBuffers < 1) request.cBuffers = 1;
    if (request.cbBuffer < 1) request.cbBuffer = 1;
    allocator->SetProperties(&request, &actual);
    memInput->NotifyAllocator(allocator, FALSE);
    allocator_ = allocator;
    downstream_ = memInput;
    mediaType_ = offered;
    hr = filter_->SetMediaType(PINDIR_OUTPUT, &mediaType_);
    connected_ = receivePin;
    connected_->AddRef();
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CTransInPlaceOutputPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) {
    return E_UNEXPECTED; // an output pin connects itself
}

HRESULT CTransInPlaceOutputPin::Disconnect() {
    if (downstream_ != nullptr) {
        downstream_->Release();
        downstream_ = nullptr;
    }
    if (allocator_ != nullptr) {
        allocator_->Release();
        allocator_ = nullptr;
    }
    return CTransInPlacePin::Disconnect();
}

HRESULT CTransInPlaceOutputPin::Deliver(IMediaSample* sample) {
    if (downstream_ == nullptr) return VFW_E_NOT_CONNECTED;
    return downstream_->Receive(sample);
}

HRESULT CTransInPlaceOutputPin::DeliverEndOfStream() {
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    return connected_->EndOfStream();
}

HRESULT CTransInPlaceOutputPin::GetDeliveryBuffer(IMediaSample** sample) {
    if (allocator_ == nullptr) return VFW_E_NOT_CONNECTED;
    return allocator_->GetBuffer(sample, nullptr, nullptr, 0);
}

HRESULT CTransInPlaceOutputPin::CommitAllocator() {
    return allocator_ != nullptr ? allocator_->Commit() : S_OK;
}

void CTransInPlaceOutputPin::DecommitAllocator() {
    if (allocator_ != nullptr) allocator_->Decommit();
}

// Filter ---------------------------------------------------------------------------------------

CTransInPlaceFilter::CTransInPlaceFilter(REFCLSID classId)
    : classId_(classId), input_(this), output_(this) {
    InitializeCriticalSection(&filterLock_);
}

CTransInPlaceFilter::~CTransInPlaceFilter() {
    DeleteCriticalSection(&filterLock_);
}

HRESULT CTransInPlaceFilter::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IBaseFilter || iid == IID_IMediaFilter ||
        iid == IID_IPersist)
        return GetInterface<IBaseFilter>(this, object);
    return QueryExtraInterface(iid, object);
}

HRESULT CTransInPlaceFilter::QueryExtraInterface(REFIID, void** object) {
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CTransInPlaceFilter::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG CTransInPlaceFilter::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT CTransInPlaceFilter::GetClassID(CLSID* classId) {
    if (classId == nullptr) return E_POINTER;
    *classId = classId_;
    return S_OK;
}

HRESULT CTransInPlaceFilter::SetMediaType(PIN_DIRECTION, const CMediaType*) {
    return S_OK;
}

HRESULT CTransInPlaceFilter::Stop() {
    EnterCriticalSection(&filterLock_);
    HRESULT hr = S_OK;
    if (state_ != State_Stopped) {
        hr = StopStreaming();
        output_.DecommitAllocator();
        state_ = State_Stopped;
    }
    LeaveCriticalSection(&filterLock_);
    return hr;
}

HRESULT CTransInPlaceFilter::Pause() {
    EnterCriticalSection(&filterLock_);
    HRESULT hr = S_OK;
    if (state_ == State_Stopped) {
        hr = output_.CommitAllocator();
        if (SUCCEEDED(hr)) hr = StartStreaming();
    }
    if (SUCCEEDED(hr)) state_ = State_Paused;
    LeaveCriticalSection(&filterLock_);
    return hr;
}

HRESULT CTransInPlaceFilter::Run(REFERENCE_TIME) {
    HRESULT hr = state_ == State_Stopped ? Pause() : S_OK;
    if (SUCCEEDED(hr)) state_ = State_Running;
    return hr;
}

HRESULT CTransInPlaceFilter::GetState(DWORD, FILTER_STATE* state) {
    if (state == nullptr) return E_POINTER;
    *state = state_;
    return S_OK;
}

HRESULT CTransInPlaceFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (id == nullptr || pin == nullptr) return E_POINTER;
    *pin = nullptr;
    auto same = [id](const WCHAR* name) {
        size_t i = 0;
        for (; id[i] != 0 && name[i] != 0; ++i)
            if (id[i] != name[i]) return false;
        return id[i] == name[i];
    };
    if (same(input_.Name())) return GetInterface<IPin>(&input_, reinterpret_cast<void**>(pin));
    if (same(output_.Name())) return GetInterface<IPin>(&output_, reinterpret_cast<void**>(pin));
    return VFW_E_NOT_FOUND;
}

HRESULT CTransInPlaceFilter::EndOfStream() {
    return output_.DeliverEndOfStream();
}

HRESULT CTransInPlaceFilter::Receive(IMediaSample* sample) {
    HRESULT hr = Transform(sample);
    if (hr == S_OK)
        hr = output_.Deliver(sample);
    else if (hr == S_FALSE)
        hr = S_OK;
    return hr;
}
