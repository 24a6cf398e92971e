#include "testsupport/frame_test_support.h"

#include <cstring>

namespace orq::test {

AudioFormat waveFormat(uint16_t tag, uint16_t bits, uint16_t channels, uint32_t rate) {
    AudioFormat f{};
    f.formatTag = tag;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = uint16_t(channels * bits / 8);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

CMediaType audioType(const AudioFormat& format) {
    CMediaType type;
    type.majortype = MEDIATYPE_Audio;
    type.formattype = FORMAT_WaveFormatEx;
    type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format);
    return type;
}

namespace {
AudioPlugin* passthroughWithLatency(float latencyFrames) {
    ParameterSet* set = createPassthroughParameters();
    set->setFloat(kPassthroughLatencyIndex, latencyFrames);
    return createPassthroughPlugin(set, nullptr, nullptr);
}
} // namespace

FrameRig::FrameRig(float latencyFrames, const AudioFormat& format)
    : FrameRig(format, passthroughWithLatency(latencyFrames)) {}

FrameRig::FrameRig(const AudioFormat& format, AudioPlugin* plugin)
    : format_(format),
      sink_(
          [this](const uint8_t* data, int64_t frames) {
              delivered_.reserve(delivered_.size() + size_t(frames * format_.blockAlign));
              delivered_.insert(delivered_.end(), data, data + frames * format_.blockAlign);
              lengths_.push_back(long(frames));
          },
          format.blockAlign) {
    filter_ = new AudioTransformFilter(plugin, kTestFilterId, kTestPageId, "Orq Passthrough");
    filter_->AddRef();
    filter_->FindPin(u"Input", &input_);
    filter_->FindPin(u"Output", &output_);
    CMediaType type = audioType(format);
    if (FAILED(input_->ReceiveConnection(&source_, &type))) return;
    input_->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&memInput_));
    allocator_ = new CMemAllocator;
    allocator_->AddRef();
    ALLOCATOR_PROPERTIES request{2, 1 << 20, 1, 0}, actual{};
    allocator_->SetProperties(&request, &actual);
    allocator_->Commit();
    memInput_->NotifyAllocator(allocator_, FALSE);
    output_->Connect(&sink_, &type);
    connected_ = filter_->Run(0) == S_OK;
}

FrameRig::~FrameRig() {
    filter_->Stop();
    if (memInput_ != nullptr) memInput_->Release();
    output_->Disconnect();
    input_->Disconnect();
    output_->Release();
    input_->Release();
    filter_->Release();
    if (allocator_ != nullptr) allocator_->Release();
}

void FrameRig::push(const std::vector<uint8_t>& bytes) {
    IMediaSample* sample = nullptr;
    allocator_->GetBuffer(&sample, nullptr, nullptr, 0);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, bytes.data(), bytes.size());
    sample->SetActualDataLength(long(bytes.size()));
    memInput_->Receive(sample);
    sample->Release();
}

void FrameRig::endOfStream() {
    input_->EndOfStream();
}

} // namespace orq::test
