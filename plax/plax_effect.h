// The Plax standard's effect base classes: the plain effect, which owns the effect record, fills
// its function pointers and decodes the dispatcher's opcodes into virtual calls, and the extended
// effect, which adds the later opcodes. A plug-in derives from the extended effect and answers
// the calls it cares about; every call has a default answer here.
//
// An effect may carry an editor (PlaxEditor): the dispatcher's editor opcodes reach it, and the
// effect's record says "has editor" once one is attached.
//
// Threads: process and processReplacing run on the host's audio thread; everything else on its
// user-interface thread. The classes take no locks.
#pragma once

#include "plax/plax.h"

#include <cstdint>

namespace orq::plax {

class PlaxEffectBase;

// An editor shown inside a window of the host's. The base keeps the rectangle, the parent window
// and the open flag; an editor library derives from it and builds its frame in open().
class PlaxEditor {
  public:
    explicit PlaxEditor(PlaxEffectBase* effect) : effect_(effect) {}
    virtual ~PlaxEditor() = default;
    PlaxEditor(const PlaxEditor&) = delete;
    PlaxEditor& operator=(const PlaxEditor&) = delete;

    // [ui-thread] no allocation. Points *rect at the editor's rectangle; false when unknown.
    virtual bool getRect(PlaxRect** rect);
    // [ui-thread] may allocate. Builds the editor's windows inside `parentWindow` (an HWND).
    virtual bool open(void* parentWindow);
    // [ui-thread] frees the windows.
    virtual void close();
    // [ui-thread] the host's periodic call while open.
    virtual void idle() {}
    // [ui-thread] a key the host passes on; true when the editor used it.
    virtual bool onKeyDown(int32_t character, intptr_t virtualKey, float modifiers);
    virtual bool onKeyUp(int32_t character, intptr_t virtualKey, float modifiers);
    // [ui-thread] the effect's parameter `index` now holds `normalised`: show it.
    virtual void setParameter(int32_t index, float normalised);
    // [ui-thread] a program was loaded: show every parameter.
    virtual void programLoaded() {}

    bool isOpen() const { return open_; }
    void* parentWindow() const { return parentWindow_; }
    PlaxEffectBase* effect() const { return effect_; }

  protected:
    PlaxEffectBase* effect_;
    PlaxRect rect_{0, 0, 0, 0};
    void* parentWindow_ = nullptr;
    bool open_ = false;
};

// The plain effect.
class PlaxEffectBase {
  public:
    PlaxEffectBase(PlaxHostCallback host, int32_t programCount, int32_t parameterCount);
    virtual ~PlaxEffectBase();
    PlaxEffectBase(const PlaxEffectBase&) = delete;
    PlaxEffectBase& operator=(const PlaxEffectBase&) = delete;

    PlaxEffect* record() { return &record_; }
    // The effect a record belongs to (null for a record that is not one of ours).
    static PlaxEffectBase* fromRecord(PlaxEffect* record);

    // [ui-thread] Decodes one opcode into the virtual calls below; unknown opcodes answer 0.
    // kPlaxClose deletes the effect.
    virtual intptr_t dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    // ---- Calls the dispatcher maps to ([ui-thread] unless marked) ----
    virtual void open() {}
    virtual void close() {} // before the effect is deleted
    virtual void setProgram(int32_t program);
    virtual int32_t getProgram() { return currentProgram_; }
    virtual void setProgramName(const char* name);
    virtual void getProgramName(char* text);
    virtual void getParameterLabel(int32_t index, char* text);
    virtual void getParameterDisplay(int32_t index, char* text);
    virtual void getParameterName(int32_t index, char* text);
    virtual float getVu() { return 0.0f; }
    virtual void setSampleRate(float sampleRateHz) { sampleRate_ = sampleRateHz; }
    virtual void setBlockSize(int32_t frames) { blockSize_ = frames; }
    virtual void suspend() {}
    virtual void resume() {}
    // Points *data at the chunk and returns its size in bytes (0: none).
    virtual int32_t getChunk(void** data, bool isPreset);
    // Takes a chunk; 0 when taken, 1 when refused (nothing changed).
    virtual int32_t setChunk(const void* data, int32_t size, bool isPreset);
    virtual void setParameter(int32_t index, float normalised);
    virtual float getParameter(int32_t index);
    // [audio-thread] no allocation. Accumulating and replacing processing.
    virtual void process(float** inputs, float** outputs, int32_t frames);
    virtual void processReplacing(float** inputs, float** outputs, int32_t frames);

    // ---- The record's values ----
    void setUniqueId(int32_t id) { record_.uniqueId = id; }
    void setNumInputs(int32_t n) { record_.numInputs = n; }
    void setNumOutputs(int32_t n) { record_.numOutputs = n; }
    void setInitialDelay(int32_t frames) { record_.initialDelay = frames; }
    void setVersion(int32_t version) { record_.version = version; }
    void canMono(bool on) { setFlag(kPlaxFlagCanMono, on); }
    void canProcessReplacing(bool on) { setFlag(kPlaxFlagCanReplacing, on); }
    void programsAreChunks(bool on) { setFlag(kPlaxFlagProgramChunks, on); }
    void hasEditor(bool on) { setFlag(kPlaxFlagHasEditor, on); }

    // Attaches an editor (owned by the caller's derived class) and sets "has editor".
    void setEditor(PlaxEditor* editor);
    PlaxEditor* editor() const { return editor_; }

    // ---- Calls to the host ----
    // [any-thread] The host's version of the standard; 0 without a host.
    intptr_t hostVersion();
    // [ui-thread] Sets the parameter and tells the host (kPlaxHostAutomate).
    void setParameterAutomated(int32_t index, float normalised);
    // [ui-thread] Whether the host reports input or output pin `index` connected.
    bool isInputConnected(int32_t index);
    bool isOutputConnected(int32_t index);
    // [ui-thread] Asks the host to size the editor's window.
    bool sizeWindow(int32_t widthPixels, int32_t heightPixels);
    // [ui-thread] Tells the host that programs or parameters changed.
    bool updateDisplay();
    intptr_t callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    float sampleRate() const { return sampleRate_; }
    int32_t blockSize() const { return blockSize_; }
    int32_t programCount() const { return record_.numPrograms; }
    int32_t parameterCount() const { return record_.numParams; }
    // Set when construction could not take what it needed; `main` then deletes the effect.
    bool constructionFailed() const { return constructionFailed_; }

  protected:
    void setFlag(int32_t flag, bool on);

    PlaxHostCallback host_;
    PlaxEffect record_{};
    float sampleRate_ = 44100.0f;
    int32_t blockSize_ = 1024;
    int32_t currentProgram_ = 0;
    PlaxEditor* editor_ = nullptr;
    bool constructionFailed_ = false;
};

// The extended effect: the later opcodes, each with the answer of a plug-in that supports none.
class PlaxEffectExtended : public PlaxEffectBase {
  public:
    using PlaxEffectBase::PlaxEffectBase;

    intptr_t dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                      float opt) override;

    virtual int32_t processEvents(void* events);
    virtual bool canParameterBeAutomated(int32_t index);
    virtual bool stringToParameter(int32_t index, const char* text);
    virtual int32_t getNumProgramCategories() { return 1; }
    virtual bool getProgramNameIndexed(int32_t category, int32_t program, char* text);
    virtual bool copyProgram(int32_t destination);
    virtual bool getInputProperties(int32_t index, void* properties);
    virtual bool getOutputProperties(int32_t index, void* properties);
    virtual int32_t getPlugCategory() { return kPlaxCategoryUnknown; }
    virtual bool offlineNotify(void* audio, int32_t count, bool start);
    virtual bool offlinePrepare(void* tasks, int32_t count);
    virtual bool offlineRun(void* tasks, int32_t count);
    virtual bool processVariableIo(void* io);
    virtual bool setSpeakerArrangement(void* input, void* output);
    virtual bool getSpeakerArrangement(void** input, void** output);
    // Both stored; the engine is not rebuilt (only setSampleRate does that).
    virtual void setBlockSizeAndSampleRate(int32_t frames, float sampleRateHz);
    virtual bool setBypass(bool on);
    virtual bool getEffectName(char* text);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual int32_t getVendorVersion() { return 0; }
    virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
    // 1 yes, 0 unknown, -1 no.
    virtual int32_t canDo(const char* capability);
    virtual int32_t getTailSize() { return 0; }
    virtual int32_t getPlaxVersion() { return kPlaxStandardVersion; }
    virtual int32_t getCurrentMidiProgram(int32_t channel, void* program);
    virtual int32_t getMidiProgramName(int32_t channel, void* program);
    virtual int32_t getMidiKeyName(int32_t channel, void* key);
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
};

} // namespace orq::plax
