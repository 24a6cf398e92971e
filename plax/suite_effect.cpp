#include "plax/suite_effect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace orq::plax {

namespace {

// Copies a text into a fixed field, cut to the field; the field is terminated when the text is
// shorter.
void copyIntoField(char* field, int32_t fieldBytes, const char* text) {
    std::memset(field, 0, size_t(fieldBytes));
    const size_t n = std::min(std::strlen(text), size_t(fieldBytes));
    std::memcpy(field, text, n);
}

void copyOutOfField(char* text, const char* field, int32_t fieldBytes) {
    size_t n = 0;
    while (n < size_t(fieldBytes) && field[n] != '\0') ++n;
    std::memcpy(text, field, n);
    text[n] = '\0';
}

} // namespace

SuiteEffect::SuiteEffect(PlaxHostCallback host, int32_t hostParameters, int32_t tableSize,
                         int32_t programBytes)
    : PlaxEffectExtended(host, kProgramCount, hostParameters), programBytes_(programBytes),
      tableSize_(tableSize) {
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    programsAreChunks(true);
}

SuiteEffect::~SuiteEffect() {
    if (ownedEditor_ && ownedEditor_->isOpen()) ownedEditor_->close();
    setEditor(nullptr);
}

void SuiteEffect::initialise(EditorFactory editorFactory) {
    try {
        table_ = std::make_unique<ParameterTable>(tableSize_);
        defineParameters(*table_);
        if (editorFactory) {
            ownedEditor_ = editorFactory(*this);
            setEditor(ownedEditor_.get());
        }
        table_->markAllChanged();
        setSampleRate(kInitialSampleRateHz);
        bank_.assign(size_t(kProgramCount) * size_t(programBytes_), 0);
        for (int32_t n = 0; n < kProgramCount; ++n) {
            saveProgram(n);
            char name[kNameLength + 1];
            std::snprintf(name, sizeof name, "Init %d", n + 1);
            copyIntoField(programName(n), kProgramNameBytes, name);
        }
        currentProgram_ = 0;
        initialiseFurther();
        if (editor_) loadProgram(0);
    } catch (const std::bad_alloc&) {
        constructionFailed_ = true;
    }
}

const uint8_t* SuiteEffect::programData(int32_t n) const {
    if (n < 0 || n >= kProgramCount || bank_.empty()) return nullptr;
    return bank_.data() + size_t(n) * size_t(programBytes_);
}

void SuiteEffect::saveProgram(int32_t n) {
    if (n < 0 || n >= kProgramCount || bank_.empty()) return;
    writeProgram(program(n));
}

void SuiteEffect::loadProgram(int32_t n) {
    if (n < 0 || n >= kProgramCount || bank_.empty()) return;
    readProgram(program(n));
    if (editor_) editor_->programLoaded();
}

void SuiteEffect::setProgram(int32_t n) {
    if (n < 0 || n >= kProgramCount) return; // a number outside the bank changes nothing
    saveProgram(currentProgram_);
    loadProgram(n);
    currentProgram_ = n;
}

void SuiteEffect::setProgramName(const char* name) {
    if (!name || bank_.empty()) return;
    copyIntoField(programName(currentProgram_), kProgramNameBytes, name);
}

void SuiteEffect::getProgramName(char* text) {
    if (!text) return;
    if (bank_.empty()) {
        text[0] = '\0';
        return;
    }
    copyOutOfField(text, programName(currentProgram_), kProgramNameBytes);
}

void SuiteEffect::getParameterLabel(int32_t index, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (isHostParameter(index))
        std::snprintf(text, kPlaxParameterLabelLength + 1, "%s", table_->record(index).unit);
}

void SuiteEffect::getParameterName(int32_t index, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (isHostParameter(index))
        std::snprintf(text, kPlaxParameterNameLength + 1, "%s", table_->record(index).name);
}

void SuiteEffect::getParameterDisplay(int32_t index, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (isHostParameter(index)) plaxFloatToText(table_->getValue(index), text);
}

void SuiteEffect::setSampleRate(float sampleRateHz) {
    if (!(sampleRateHz > 0.0f) || !std::isfinite(sampleRateHz)) return;
    std::unique_ptr<EngineAdapter> fresh;
    try {
        fresh = createAdapter(sampleRateHz);
    } catch (const std::bad_alloc&) {
        fresh.reset();
    }
    if (!fresh) return; // a rate the engine cannot run (or no memory) changes nothing
    sampleRate_ = sampleRateHz;
    adapter_ = std::move(fresh);
    adapter_->reset();
    table_->markAllChanged();
    adapter_->applyChanged(*table_);
    setInitialDelay(adapter_->latency());
}

void SuiteEffect::suspend() {
    if (adapter_) adapter_->suspend(*table_);
}

void SuiteEffect::resume() {
    if (adapter_) {
        // The audio is stopped: changes (a program with another band count) reach the engine
        // now, so the delay the host reads at resume is the one it will get.
        adapter_->applyChanged(*table_);
        setInitialDelay(adapter_->latency());
        adapter_->resume(*table_);
    }
    // One pin: one. Otherwise the highest pin the host reports connected, plus one; a host
    // that reports none keeps every pin.
    auto recount = [](int32_t pins, auto&& connected) {
        if (pins == 1) return 1;
        for (int32_t i = pins - 1; i >= 0; --i)
            if (connected(i)) return i + 1;
        return pins;
    };
    connectedInputs_ = recount(record_.numInputs, [this](int32_t i) { return isInputConnected(i); });
    connectedOutputs_ =
        recount(record_.numOutputs, [this](int32_t i) { return isOutputConnected(i); });
}

int32_t SuiteEffect::getChunk(void** data, bool isPreset) {
    if (!data) return 0;
    if (bank_.empty()) {
        *data = nullptr;
        return 0;
    }
    saveProgram(currentProgram_);
    *data = isPreset ? program(currentProgram_) : bank_.data();
    return isPreset ? programBytes_ : int32_t(bank_.size());
}

int32_t SuiteEffect::setChunk(const void* data, int32_t size, bool isPreset) {
    if (bank_.empty()) return 1;
    const int32_t limit = isPreset ? programBytes_ : int32_t(bank_.size());
    // A chunk larger than what it replaces, or bytes that are not there, are refused whole.
    if (size < 0 || size > limit || (size > 0 && !data)) return 1;
    uint8_t* target = isPreset ? program(currentProgram_) : bank_.data();
    if (size > 0) std::memcpy(target, data, size_t(size));
    loadProgram(currentProgram_);
    return 0;
}

void SuiteEffect::setParameter(int32_t index, float normalised) {
    if (!isHostParameter(index)) return;
    table_->setNormalised(index, normalised);
    if (editor_) editor_->setParameter(index, table_->getNormalised(index));
}

float SuiteEffect::getParameter(int32_t index) {
    return isHostParameter(index) ? table_->getNormalised(index) : 0.0f;
}

void SuiteEffect::process(float** inputs, float** outputs, int32_t frames) {
    if (adapter_)
        adapter_->process(inputs, outputs, frames, ProcessMode::Accumulate, connectedInputs_,
                          *table_);
}

void SuiteEffect::processReplacing(float** inputs, float** outputs, int32_t frames) {
    if (adapter_)
        adapter_->process(inputs, outputs, frames, ProcessMode::Replace, connectedInputs_,
                          *table_);
}

bool SuiteEffect::canParameterBeAutomated(int32_t) { return true; }

} // namespace orq::plax
