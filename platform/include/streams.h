// DirectShow subset: media types carrying a wave format, media samples, allocators, pins,
// filters, and the base class of an in-place transform filter with pins "Input" and "Output".
#pragma once

#include <objbase.h>

#include <vector>

using REFERENCE_TIME = int64_t;

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

extern "C" {
WINAPI_EXPORT extern const GUID MEDIATYPE_Audio; // first four bytes read "auds"
WINAPI_EXPORT extern const GUID MEDIASUBTYPE_PCM;
WINAPI_EXPORT extern const GUID MEDIASUBTYPE_IEEE_FLOAT;
WINAPI_EXPORT extern const GUID FORMAT_WaveFormatEx;
WINAPI_EXPORT extern const IID IID_IMediaSample;
WINAPI_EXPORT extern const IID IID_IMemAllocator;
WINAPI_EXPORT extern const IID IID_IPin;
WINAPI_EXPORT extern const IID IID_IMemInputPin;
WINAPI_EXPORT extern const IID IID_IMediaFilter;
WINAPI_EXPORT extern const IID IID_IBaseFilter;
WINAPI_EXPORT extern const IID IID_IAMovieSetup;
}

constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022au);
constexpr HRESULT VFW_E_NOT_COMMITTED = static_cast<HRESULT>(0x80040211u);
constexpr HRESULT VFW_E_SIZENOTSET = static_cast<HRESULT>(0x80040212u);
constexpr HRESULT VFW_E_BUFFER_OVERFLOW = static_cast<HRESULT>(0x8004020du);
constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);
constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004022eu);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);

// A media type that owns its format block.
class WINAPI_EXPORT CMediaType : public AM_MEDIA_TYPE {
  public:
    CMediaType();
    CMediaType(const AM_MEDIA_TYPE& other);
    CMediaType(const CMediaType& other);
    CMediaType& operator=(const AM_MEDIA_TYPE& other);
    CMediaType& operator=(const CMediaType& other);
    ~CMediaType();
    // Copies the format block; false when it cannot be allocated.
    bool SetFormat(const BYTE* format, ULONG length);
    const GUID* Type() const { return &majortype; }
    const BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    bool IsTemporalCompressed() const { return bTemporalCompression != 0; }
};

struct IMediaSample : IUnknown {
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual long GetSize() = 0;
    virtual long GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(long length) = 0;

  protected:
    ~IMediaSample() = default;
};

struct ALLOCATOR_PROPERTIES {
    long cBuffers;
    long cbBuffer;
    long cbAlign;
    long cbPrefix;
};

struct IMemAllocator : IUnknown {
    virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT Commit() = 0;
    virtual HRESULT Decommit() = 0;
    // A free sample with length 0, or VFW_E_TIMEOUT when every sample is in use.
    virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                              DWORD flags) = 0;
    virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;

  protected:
    ~IMemAllocator() = default;
};

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct IPin : IUnknown {
    virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
    // The pin's name, allocated with CoTaskMemAlloc.
    virtual HRESULT QueryId(LPWSTR* id) = 0;
    virtual HRESULT EndOfStream() = 0;

  protected:
    ~IPin() = default;
};

struct IMemInputPin : IUnknown {
    virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
    virtual HRESULT Receive(IMediaSample* sample) = 0;

  protected:
    ~IMemInputPin() = default;
};

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

struct IMediaFilter : IPersist {
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    virtual HRESULT GetState(DWORD milliseconds, FILTER_STATE* state) = 0;

  protected:
    ~IMediaFilter() = default;
};

struct IBaseFilter : IMediaFilter {
    virtual HRESULT FindPin(LPCWSTR id, IPin** pin) = 0;

  protected:
    ~IBaseFilter() = default;
};

// Filter registration helper asked for by unregistration.
struct IAMovieSetup : IUnknown {
    virtual HRESULT Register() = 0;
    virtual HRESULT Unregister() = 0;

  protected:
    ~IAMovieSetup() = default;
};

class CMemAllocator;

// A sample of an allocator's pool; going back to the pool when its last reference goes.
class WINAPI_EXPORT CMediaSample : public IMediaSample {
  public:
    CMediaSample(CMemAllocator* allocator, BYTE* buffer, long size);
    virtual ~CMediaSample() = default;
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetPointer(BYTE** buffer) override;
    long GetSize() override { return size_; }
    long GetActualDataLength() override { return length_; }
    HRESULT SetActualDataLength(long length) override;

  private:
    CMemAllocator* allocator_;
    BYTE* buffer_;
    long size_;
    long length_ = 0;
    LONG volatile references_ = 0;
};

// A fixed pool of samples carved from one allocation.
class WINAPI_EXPORT CMemAllocator : public IMemAllocator {
  public:
    CMemAllocator();
    virtual ~CMemAllocator();
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                      DWORD flags) override;
    HRESULT ReleaseBuffer(IMediaSample* sample) override;

  private:
    CRITICAL_SECTION lock_;
    ALLOCATOR_PROPERTIES properties_{};
    bool committed_ = false;
    std::vector<BYTE> memory_;
    std::vector<CMediaSample*> samples_;
    std::vector<CMediaSample*> free_;
    LONG volatile references_ = 0;
};

class CTransInPlaceFilter;

// A pin of a transform filter; its lifetime is the filter's.
class WINAPI_EXPORT CTransInPlacePin : public IPin {
  public:
    CTransInPlacePin(CTransInPlaceFilter* filter, PIN_DIRECTION direction, const WCHAR* name);
    virtual ~CTransInPlacePin();
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(LPWSTR* id) override;
    bool IsConnected() const { return connected_ != nullptr; }
    const CMediaType& CurrentMediaType() const { return mediaType_; }
    const WCHAR* Name() const { return name_; }

  protected:
    CTransInPlaceFilter* filter_;
    PIN_DIRECTION direction_;
    const WCHAR* name_;
    IPin* connected_ = nullptr;
    CMediaType mediaType_;
};

class WINAPI_EXPORT CTransInPlaceInputPin : public CTransInPlacePin, public IMemInputPin {
  public:
    explicit CTransInPlaceInputPin(CTransInPlaceFilter* filter);
    ~CTransInPlaceInputPin() override;
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override;
    HRESULT EndOfStream() override;
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT Receive(IMediaSample* sample) override;
    IMemAllocator* Allocator() const { return allocator_; }

  private:
    IMemAllocator* allocator_ = nullptr;
};

class WINAPI_EXPORT CTransInPlaceOutputPin : public CTransInPlacePin {
  public:
    explicit CTransInPlaceOutputPin(CTransInPlaceFilter* filter);
    ~CTransInPlaceOutputPin() override;
    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override;
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    // Delivers a sample to the connected input pin.
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    // A fresh sample from this pin's own allocator (for data the filter produces itself).
    HRESULT GetDeliveryBuffer(IMediaSample** sample);
    HRESULT CommitAllocator();
    void DecommitAllocator();

  private:
    IMemInputPin* downstream_ = nullptr;
    CMemAllocator* allocator_ = nullptr;
};

// Base of an in-place transform filter: samples arriving on "Input" are transformed in their
// own buffer and delivered from "Output". Streaming starts when the filter leaves the stopped
// state and stops when it returns to it.
class WINAPI_EXPORT CTransInPlaceFilter : public IBaseFilter {
  public:
    explicit CTransInPlaceFilter(REFCLSID classId);
    virtual ~CTransInPlaceFilter();
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetClassID(CLSID* classId) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD milliseconds, FILTER_STATE* state) override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;

    // The transform's own operations.
    virtual HRESULT CheckInputType(const CMediaType* type) = 0;
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type);
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }
    virtual HRESULT Transform(IMediaSample* sample) = 0;
    // Called when the input pin receives end of stream; passes it downstream.
    virtual HRESULT EndOfStream();
    // Transforms one sample and delivers it (S_FALSE from Transform: not delivered).
    virtual HRESULT Receive(IMediaSample* sample);

    CTransInPlaceInputPin* InputPin() { return &input_; }
    CTransInPlaceOutputPin* OutputPin() { return &output_; }
    FILTER_STATE State() const { return state_; }

  protected:
    // Extra interfaces of a derived filter; E_NOINTERFACE when unknown.
    virtual HRESULT QueryExtraInterface(REFIID iid, void** object);
    CRITICAL_SECTION filterLock_;

  private:
    CLSID classId_;
    FILTER_STATE state_ = State_Stopped;
    LONG volatile references_ = 0;
    CTransInPlaceInputPin input_;
    CTransInPlaceOutputPin output_;
};
