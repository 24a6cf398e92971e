// orq as a Plax host: loads a Plax library, calls its `main` with orq's host callback, and
// drives the effect record it returns (dispatcher, processing, parameters, programs, chunks).
// The editor road builds on the same object: it asks for the editor's rectangle, opens it in a
// window of orq's and calls idle on a timer; the callback's window sizing and idle requests
// reach the handlers set here.
#pragma once

#include "plax/plax.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orq::host {

// The Plax library a name or path means: a path to a library as it is; a display name of the
// suite's Plax builds ("Orq Pressane", "Orq Compressor") the library of that build in
// $ORQ_PLAX_DIR, else beside orq (../plugins). Throws with one clear line when there is none.
std::string plaxLibraryPath(const std::string& nameOrPath);

class PlaxLibrary {
  public:
    // [ui-thread] Loads the library, calls `main`, opens the effect, sets 44100 Hz, a block
    // size of 4096 and resumes it. Throws std::runtime_error with one clear line when the
    // library cannot be loaded, has no `main`, or `main` returns no record.
    explicit PlaxLibrary(const std::string& path);
    // Suspends and closes the effect, then unloads the library.
    ~PlaxLibrary();
    PlaxLibrary(const PlaxLibrary&) = delete;
    PlaxLibrary& operator=(const PlaxLibrary&) = delete;

    PlaxEffect* effect() const { return effect_; }
    const std::string& path() const { return path_; }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    // A text the effect writes for opcode and index.
    std::string text(int32_t opcode, int32_t index = 0);

    // Host parameters, by index or name.
    int32_t parameterCount() const { return effect_->numParams; }
    std::string parameterName(int32_t index) { return text(kPlaxGetParameterName, index); }
    // The index of the parameter named `name`; throws naming the parameters when there is none.
    int32_t requireParameter(const std::string& name);
    void setParameter(int32_t index, float normalised);
    float getParameter(int32_t index);

    // Programs and chunks.
    int32_t programCount() const { return effect_->numPrograms; }
    int32_t program() { return int32_t(dispatch(kPlaxGetProgram)); }
    // Throws for a number outside the bank.
    void setProgram(int32_t program);
    std::string programName() { return text(kPlaxGetProgramName); }
    std::vector<uint8_t> chunk(bool preset);
    // Throws when the effect refuses the chunk.
    void setChunk(const std::vector<uint8_t>& bytes, bool preset);

    // Suspend, set the rate, resume: the engine is rebuilt for the rate.
    void setSampleRate(float sampleRateHz);
    int32_t latencyFrames() const { return effect_->initialDelay; }

    // [audio-thread] replacing processing of two channels.
    void processReplacing(float** inputs, float** outputs, int32_t frames);

    // What the effect asked of the host through the callback (editor road, tests).
    std::function<bool(int32_t widthPixels, int32_t heightPixels)> onSizeWindow;
    std::function<void()> onIdle;
    std::vector<std::pair<int32_t, float>> automated; // parameter, normalised value

  private:
    static intptr_t hostCallback(PlaxEffect* effect, int32_t opcode, int32_t index,
                                 intptr_t value, void* ptr, float opt);
    intptr_t answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    std::string path_;
    void* handle_ = nullptr;
    PlaxEffect* effect_ = nullptr;
    float sampleRateHz_ = 44100.0f;
    int32_t blockFrames_ = 4096;
};

} // namespace orq::host
