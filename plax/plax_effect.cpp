#include "plax/plax_effect.h"

#include <cstring>

namespace orq::plax {

namespace {

PlaxEffectBase* effectOf(PlaxEffect* record) { return PlaxEffectBase::fromRecord(record); }

// [ui-thread] The record's dispatcher: hands the opcode to the effect; a close deletes it.
intptr_t dispatchThunk(PlaxEffect* record, int32_t opcode, int32_t index, intptr_t value,
                       void* ptr, float opt) {
    PlaxEffectBase* effect = effectOf(record);
    if (!effect) return 0;
    if (opcode == kPlaxClose) {
        effect->dispatch(opcode, index, value, ptr, opt);
        delete effect;
        return 1;
    }
    return effect->dispatch(opcode, index, value, ptr, opt);
}

// [audio-thread] no allocation.
void processThunk(PlaxEffect* record, float** inputs, float** outputs, int32_t frames) {
    if (PlaxEffectBase* effect = effectOf(record)) effect->process(inputs, outputs, frames);
}

// [audio-thread] no allocation.
void processReplacingThunk(PlaxEffect* record, float** inputs, float** outputs, int32_t frames) {
    if (PlaxEffectBase* effect = effectOf(record))
        effect->processReplacing(inputs, outputs, frames);
}

// [ui-thread]
void setParameterThunk(PlaxEffect* record, int32_t index, float normalised) {
    if (PlaxEffectBase* effect = effectOf(record)) effect->setParameter(index, normalised);
}

// [ui-thread]
float getParameterThunk(PlaxEffect* record, int32_t index) {
    PlaxEffectBase* effect = effectOf(record);
    return effect ? effect->getParameter(index) : 0.0f;
}

void clearText(char* text) {
    if (text) text[0] = '\0';
}

} // namespace

// ---- PlaxEditor ----

bool PlaxEditor::getRect(PlaxRect** rect) {
    if (!rect) return false;
    *rect = &rect_;
    return true;
}

bool PlaxEditor::open(void* parentWindow) {
    parentWindow_ = parentWindow;
    open_ = true;
    return true;
}

void PlaxEditor::close() {
    open_ = false;
    parentWindow_ = nullptr;
}

bool PlaxEditor::onKeyDown(int32_t, intptr_t, float) { return false; }
bool PlaxEditor::onKeyUp(int32_t, intptr_t, float) { return false; }
void PlaxEditor::setParameter(int32_t, float) {}

// ---- PlaxEffectBase ----

PlaxEffectBase::PlaxEffectBase(PlaxHostCallback host, int32_t programCount, int32_t parameterCount)
    : host_(host) {
    record_.magic = kPlaxMagic;
    record_.recordSize = static_cast<int32_t>(sizeof(PlaxEffect));
    record_.dispatcher = dispatchThunk;
    record_.process = processThunk;
    record_.processReplacing = processReplacingThunk;
    record_.setParameter = setParameterThunk;
    record_.getParameter = getParameterThunk;
    record_.numPrograms = programCount;
    record_.numParams = parameterCount;
    record_.numInputs = 1;
    record_.numOutputs = 2;
    record_.version = 1;
    record_.object = this;
}

PlaxEffectBase::~PlaxEffectBase() { record_.object = nullptr; }

PlaxEffectBase* PlaxEffectBase::fromRecord(PlaxEffect* record) {
    if (!record || record->magic != kPlaxMagic) return nullptr;
    return static_cast<PlaxEffectBase*>(record->object);
}

intptr_t PlaxEffectBase::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
    switch (opcode) {
    case kPlaxOpen: open(); return 0;
    case kPlaxClose: close(); return 0;
    case kPlaxSetProgram: setProgram(static_cast<int32_t>(value)); return 0;
    case kPlaxGetProgram: return getProgram();
    case kPlaxSetProgramName:
        if (ptr) setProgramName(static_cast<const char*>(ptr));
        return 0;
    case kPlaxGetProgramName:
        if (ptr) getProgramName(static_cast<char*>(ptr));
        return 0;
    case kPlaxGetParameterLabel:
        if (ptr) getParameterLabel(index, static_cast<char*>(ptr));
        return 0;
    case kPlaxGetParameterDisplay:
        if (ptr) getParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case kPlaxGetParameterName:
        if (ptr) getParameterName(index, static_cast<char*>(ptr));
        return 0;
    case kPlaxGetVu: return static_cast<intptr_t>(getVu() * 32767.0f);
    case kPlaxSetSampleRate: setSampleRate(opt); return 0;
    case kPlaxSetBlockSize: setBlockSize(static_cast<int32_t>(value)); return 0;
    case kPlaxMainsChanged:
        value ? resume() : suspend();
        return 0;
    case kPlaxEditorGetRect:
        return editor_ ? editor_->getRect(static_cast<PlaxRect**>(ptr)) : 0;
    case kPlaxEditorOpen: return editor_ ? editor_->open(ptr) : 0;
    case kPlaxEditorClose:
        if (editor_) editor_->close();
        return 0;
    case kPlaxEditorIdle:
        if (editor_) editor_->idle();
        return 0;
    case kPlaxEditorKeyDown:
        return editor_ ? editor_->onKeyDown(index, value, opt) : 0;
    case kPlaxEditorKeyUp: return editor_ ? editor_->onKeyUp(index, value, opt) : 0;
    case kPlaxGetChunk: return getChunk(static_cast<void**>(ptr), index != 0);
    case kPlaxSetChunk:
        if (value < 0 || value > INT32_MAX) return 1;
        return setChunk(ptr, static_cast<int32_t>(value), index != 0);
    default: return 0;
    }
}

void PlaxEffectBase::setProgram(int32_t program) {
    if (program >= 0 && program < record_.numPrograms) currentProgram_ = program;
}
void PlaxEffectBase::setProgramName(const char*) {}
void PlaxEffectBase::getProgramName(char* text) { clearText(text); }
void PlaxEffectBase::getParameterLabel(int32_t, char* text) { clearText(text); }
void PlaxEffectBase::getParameterDisplay(int32_t, char* text) { clearText(text); }
void PlaxEffectBase::getParameterName(int32_t, char* text) { clearText(text); }

int32_t PlaxEffectBase::getChunk(void** data, bool) {
    if (data) *data = nullptr;
    return 0;
}
int32_t PlaxEffectBase::setChunk(const void*, int32_t, bool) { return 1; }
void PlaxEffectBase::setParameter(int32_t, float) {}
float PlaxEffectBase::getParameter(int32_t) { return 0.0f; }
void PlaxEffectBase::process(float**, float**, int32_t) {}
void PlaxEffectBase::processReplacing(float**, float**, int32_t) {}

void PlaxEffectBase::setEditor(PlaxEditor* editor) {
    editor_ = editor;
    hasEditor(editor != nullptr);
}

void PlaxEffectBase::setFlag(int32_t flag, bool on) {
    record_.flags = on ? (record_.flags | flag) : (record_.flags & ~flag);
}

intptr_t PlaxEffectBase::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
    return host_ ? host_(&record_, opcode, index, value, ptr, opt) : 0;
}

intptr_t PlaxEffectBase::hostVersion() { return callHost(kPlaxHostVersion, 0, 0, nullptr, 0.0f); }

void PlaxEffectBase::setParameterAutomated(int32_t index, float normalised) {
    setParameter(index, normalised);
    callHost(kPlaxHostAutomate, index, 0, nullptr, normalised);
}

bool PlaxEffectBase::isInputConnected(int32_t index) {
    return callHost(kPlaxHostPinConnected, index, 1, nullptr, 0.0f) != 0;
}
bool PlaxEffectBase::isOutputConnected(int32_t index) {
    return callHost(kPlaxHostPinConnected, index, 0, nullptr, 0.0f) != 0;
}
bool PlaxEffectBase::sizeWindow(int32_t widthPixels, int32_t heightPixels) {
    return callHost(kPlaxHostSizeWindow, widthPixels, heightPixels, nullptr, 0.0f) != 0;
}
bool PlaxEffectBase::updateDisplay() {
    return callHost(kPlaxHostUpdateDisplay, 0, 0, nullptr, 0.0f) != 0;
}

// ---- PlaxEffectExtended ----

intptr_t PlaxEffectExtended::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                      float opt) {
    const int32_t count = static_cast<int32_t>(value);
    switch (opcode) {
    case kPlaxProcessEvents: return processEvents(ptr);
    case kPlaxCanBeAutomated: return canParameterBeAutomated(index);
    case kPlaxStringToParameter: return stringToParameter(index, static_cast<const char*>(ptr));
    case kPlaxGetNumProgramCategories: return getNumProgramCategories();
    case kPlaxGetProgramNameIndexed:
        return getProgramNameIndexed(count, index, static_cast<char*>(ptr));
    case kPlaxCopyProgram: return copyProgram(index);
    case kPlaxGetInputProperties: return getInputProperties(index, ptr);
    case kPlaxGetOutputProperties: return getOutputProperties(index, ptr);
    case kPlaxGetPlugCategory: return getPlugCategory();
    case kPlaxOfflineNotify: return offlineNotify(ptr, count, index != 0);
    case kPlaxOfflinePrepare: return offlinePrepare(ptr, count);
    case kPlaxOfflineRun: return offlineRun(ptr, count);
    case kPlaxProcessVariableIo: return processVariableIo(ptr);
    case kPlaxSetSpeakerArrangement:
        return setSpeakerArrangement(reinterpret_cast<void*>(value), ptr);
    case kPlaxGetSpeakerArrangement:
        return getSpeakerArrangement(reinterpret_cast<void**>(value), static_cast<void**>(ptr));
    case kPlaxSetBlockSizeAndSampleRate: setBlockSizeAndSampleRate(count, opt); return 0;
    case kPlaxSetBypass: return setBypass(value != 0);
    case kPlaxGetEffectName: return getEffectName(static_cast<char*>(ptr));
    case kPlaxGetVendorString: return getVendorString(static_cast<char*>(ptr));
    case kPlaxGetProductString: return getProductString(static_cast<char*>(ptr));
    case kPlaxGetVendorVersion: return getVendorVersion();
    case kPlaxVendorSpecific: return vendorSpecific(index, value, ptr, opt);
    case kPlaxCanDo: return ptr ? canDo(static_cast<const char*>(ptr)) : 0;
    case kPlaxGetTailSize: return getTailSize();
    case kPlaxGetPlaxVersion: return getPlaxVersion();
    case kPlaxGetCurrentMidiProgram: return getCurrentMidiProgram(index, ptr);
    case kPlaxGetMidiProgramName: return getMidiProgramName(index, ptr);
    case kPlaxGetMidiKeyName: return getMidiKeyName(index, ptr);
    case kPlaxBeginSetProgram: return beginSetProgram();
    case kPlaxEndSetProgram: return endSetProgram();
    default: return PlaxEffectBase::dispatch(opcode, index, value, ptr, opt);
    }
}

int32_t PlaxEffectExtended::processEvents(void*) { return 0; }
bool PlaxEffectExtended::canParameterBeAutomated(int32_t) { return false; }
bool PlaxEffectExtended::stringToParameter(int32_t, const char*) { return false; }
bool PlaxEffectExtended::getProgramNameIndexed(int32_t, int32_t, char*) { return false; }
bool PlaxEffectExtended::copyProgram(int32_t) { return false; }
bool PlaxEffectExtended::getInputProperties(int32_t, void*) { return false; }
bool PlaxEffectExtended::getOutputProperties(int32_t, void*) { return false; }
bool PlaxEffectExtended::offlineNotify(void*, int32_t, bool) { return false; }
bool PlaxEffectExtended::offlinePrepare(void*, int32_t) { return false; }
bool PlaxEffectExtended::offlineRun(void*, int32_t) { return false; }
bool PlaxEffectExtended::processVariableIo(void*) { return false; }
bool PlaxEffectExtended::setSpeakerArrangement(void*, void*) { return false; }
bool PlaxEffectExtended::getSpeakerArrangement(void**, void**) { return false; }
void PlaxEffectExtended::setBlockSizeAndSampleRate(int32_t frames, float sampleRateHz) {
    blockSize_ = frames;
    sampleRate_ = sampleRateHz;
}
bool PlaxEffectExtended::setBypass(bool) { return false; }
bool PlaxEffectExtended::getEffectName(char*) { return false; }
bool PlaxEffectExtended::getVendorString(char*) { return false; }
bool PlaxEffectExtended::getProductString(char*) { return false; }
intptr_t PlaxEffectExtended::vendorSpecific(int32_t, intptr_t, void*, float) { return 0; }
int32_t PlaxEffectExtended::canDo(const char*) { return 0; }
int32_t PlaxEffectExtended::getCurrentMidiProgram(int32_t, void*) { return -1; }
int32_t PlaxEffectExtended::getMidiProgramName(int32_t, void*) { return 0; }
int32_t PlaxEffectExtended::getMidiKeyName(int32_t, void*) { return 0; }

} // namespace orq::plax
