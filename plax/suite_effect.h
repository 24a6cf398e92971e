// The suite's Plax plug-in effect: the extended effect with a parameter table, a program bank,
// an engine adapter and an optional editor, answering the dispatcher's calls the same way in
// both Plax builds. Each build derives from it, defines its table, lays out its programs and
// creates its adapter.
#pragma once

#include "plax/engine_adapter.h"
#include "plax/parameter_table.h"
#include "plax/plax_editor.h"
#include "plax/plax_effect.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orq::plax {

constexpr int32_t kProgramCount = 10;
constexpr int32_t kProgramNameBytes = kNameLength; // 32 characters, no terminator when full
constexpr float kInitialSampleRateHz = 44100.0f;

class SuiteEffect;
// Builds the editor of an effect (the editor library's); null for none.
using EditorFactory = std::unique_ptr<PlaxEditor> (*)(SuiteEffect& effect);

class SuiteEffect : public PlaxEffectExtended, public EditorEffect {
  public:
    // [ui-thread] allocates.
    SuiteEffect(PlaxHostCallback host, int32_t hostParameters, int32_t tableSize,
                int32_t programBytes);
    ~SuiteEffect() override;

    // [ui-thread] allocates. The steps after construction: the table, the editor, the engine
    // at 44100 Hz, the ten programs named "Init 1" … "Init 10", the build's own step, and
    // program 0 loaded when an editor is present. Sets the construction-failed flag when memory
    // runs out.
    void initialise(EditorFactory editorFactory);

    ParameterTable& table() { return *table_; }
    EngineAdapter* adapter() { return adapter_.get(); }
    int32_t programBytes() const { return programBytes_; }
    const uint8_t* programData(int32_t program) const;
    int32_t connectedInputs() const { return connectedInputs_; }
    int32_t connectedOutputs() const { return connectedOutputs_; }

    // ---- Answers to the dispatcher ([ui-thread] unless marked) ----
    void setProgram(int32_t program) override;
    void setProgramName(const char* name) override;
    void getProgramName(char* text) override;
    void getParameterLabel(int32_t index, char* text) override;
    void getParameterDisplay(int32_t index, char* text) override;
    void getParameterName(int32_t index, char* text) override;
    void setSampleRate(float sampleRateHz) override;
    void suspend() override;
    void resume() override;
    int32_t getChunk(void** data, bool isPreset) override;
    int32_t setChunk(const void* data, int32_t size, bool isPreset) override;
    void setParameter(int32_t index, float normalised) override;
    float getParameter(int32_t index) override;
    // [audio-thread] no allocation.
    void process(float** inputs, float** outputs, int32_t frames) override;
    void processReplacing(float** inputs, float** outputs, int32_t frames) override;
    bool canParameterBeAutomated(int32_t index) override;
    int32_t getPlugCategory() override { return kPlaxCategoryMastering; }

    // Saves the current values into program `program`; loads program `program` into the table
    // (and tells the editor).
    void saveProgram(int32_t program);
    void loadProgram(int32_t program);

    // ---- What the editor sees of the effect ([ui-thread]) ----
    // Any record of the table (the meters too), not only the host's parameters.
    float normalizedParameter(int index) override { return table_->getNormalised(index); }
    // The standard's automated set: the value (and the editor), then the host is told.
    void setParameterAutomated(int index, float normalized) override {
        PlaxEffectBase::setParameterAutomated(index, normalized);
    }
    float rawValue(int index) override { return table_->readValue(index); }
    void setRawValue(int index, float value) override { table_->setValue(index, value); }
    float minimum(int index) override {
        return table_->contains(index) ? table_->record(index).minimum : 0.0f;
    }
    float maximum(int index) override {
        return table_->contains(index) ? table_->record(index).maximum : 0.0f;
    }
    int readBlock(int index, void* bytes, int size) override {
        return table_->readBytes(index, bytes, size);
    }

  protected:
    virtual void defineParameters(ParameterTable& table) = 0;
    // [ui-thread] allocates; null when the engine cannot run at this rate.
    virtual std::unique_ptr<EngineAdapter> createAdapter(float sampleRateHz) = 0;
    virtual void writeProgram(uint8_t* program) = 0;
    virtual void readProgram(const uint8_t* program) = 0;
    // The build's own initialisation step (the factory bank).
    virtual void initialiseFurther() {}

    bool isHostParameter(int32_t index) const { return index >= 0 && index < record_.numParams; }
    uint8_t* program(int32_t n) { return bank_.data() + size_t(n) * size_t(programBytes_); }
    char* programName(int32_t n) {
        return reinterpret_cast<char*>(program(n) + programBytes_ - kProgramNameBytes);
    }

    std::unique_ptr<ParameterTable> table_;
    std::unique_ptr<EngineAdapter> adapter_;
    std::unique_ptr<PlaxEditor> ownedEditor_;
    std::vector<uint8_t> bank_;
    int32_t programBytes_;
    int32_t tableSize_;
    int32_t connectedInputs_ = 2;
    int32_t connectedOutputs_ = 2;
};

} // namespace orq::plax
