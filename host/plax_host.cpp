#include "host/plax_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace orq::host {

namespace {

// The host's version of the standard, answered to the version query.
constexpr intptr_t kOrqPlaxVersion = kPlaxStandardVersion;

std::string libraryOfName(const std::string& name) {
    if (name == "Orq Pressane") return "pressane_plax.so";
    if (name == "Orq Compressor") return "compressor_plax.so";
    return "";
}

std::filesystem::path orqDirectory() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self.parent_path();
}

} // namespace

std::string plaxLibraryPath(const std::string& nameOrPath) {
    if (nameOrPath.find('/') != std::string::npos || nameOrPath.ends_with(".so")) {
        if (!std::filesystem::exists(nameOrPath))
            throw std::runtime_error("no Plax library at '" + nameOrPath + "'");
        return nameOrPath;
    }
    const std::string file = libraryOfName(nameOrPath);
    if (file.empty())
        throw std::runtime_error("'" + nameOrPath +
                                 "' has no Plax build (Plax builds: \"Orq Pressane\", \"Orq "
                                 "Compressor\"; or give a library path)");
    std::vector<std::filesystem::path> places;
    if (const char* dir = std::getenv("ORQ_PLAX_DIR")) places.emplace_back(dir);
    places.push_back(orqDirectory() / ".." / "plugins");
    for (const std::filesystem::path& dir : places)
        if (std::filesystem::exists(dir / file)) return (dir / file).string();
    throw std::runtime_error("the Plax library " + file + " of '" + nameOrPath +
                             "' is not in $ORQ_PLAX_DIR nor beside orq");
}

PlaxLibrary::PlaxLibrary(const std::string& path) : path_(path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error("cannot load the Plax library '" + path + "': " + dlerror());
    auto entry = reinterpret_cast<PlaxMainProc>(dlsym(handle_, "main"));
    if (!entry) {
        dlclose(handle_);
        throw std::runtime_error("'" + path + "' exports no Plax entry point main");
    }
    effect_ = entry(&PlaxLibrary::hostCallback);
    if (!effect_ || effect_->magic != kPlaxMagic) {
        dlclose(handle_);
        throw std::runtime_error("the Plax library '" + path + "' returned no effect");
    }
    effect_->user = this;
    dispatch(kPlaxOpen);
    dispatch(kPlaxSetSampleRate, 0, 0, nullptr, sampleRateHz_);
    dispatch(kPlaxSetBlockSize, 0, blockFrames_);
    dispatch(kPlaxMainsChanged, 0, 1);
}

PlaxLibrary::~PlaxLibrary() {
    dispatch(kPlaxMainsChanged, 0, 0);
    dispatch(kPlaxClose);
    effect_ = nullptr;
    dlclose(handle_);
}

intptr_t PlaxLibrary::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
    return effect_ ? effect_->dispatcher(effect_, opcode, index, value, ptr, opt) : 0;
}

std::string PlaxLibrary::text(int32_t opcode, int32_t index) {
    char buffer[kPlaxTextBufferSize] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[kPlaxTextBufferSize - 1] = '\0';
    return buffer;
}

int32_t PlaxLibrary::requireParameter(const std::string& name) {
    std::string names;
    for (int32_t i = 0; i < parameterCount(); ++i) {
        const std::string n = parameterName(i);
        if (n == name) return i;
        names += (i ? ", " : "") + n;
    }
    throw std::runtime_error("the Plax effect has no parameter '" + name + "' (it has " + names + ")");
}

void PlaxLibrary::setParameter(int32_t index, float normalised) {
    effect_->setParameter(effect_, index, normalised);
}

float PlaxLibrary::getParameter(int32_t index) { return effect_->getParameter(effect_, index); }

void PlaxLibrary::setProgram(int32_t program) {
    if (program < 0 || program >= programCount())
        throw std::runtime_error("program " + std::to_string(program) + " is not in the bank (0 … " +
                                 std::to_string(programCount() - 1) + ")");
    dispatch(kPlaxSetProgram, 0, program);
}

std::vector<uint8_t> PlaxLibrary::chunk(bool preset) {
    void* data = nullptr;
    const intptr_t size = dispatch(kPlaxGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

void PlaxLibrary::setChunk(const std::vector<uint8_t>& bytes, bool preset) {
    if (dispatch(kPlaxSetChunk, preset ? 1 : 0, intptr_t(bytes.size()),
                 const_cast<uint8_t*>(bytes.data())) != 0)
        throw std::runtime_error("the effect refused the " + std::string(preset ? "preset" : "bank") +
                                 " (" + std::to_string(bytes.size()) + " bytes; it holds " +
                                 std::to_string(chunk(preset).size()) + ")");
}

void PlaxLibrary::setSampleRate(float sampleRateHz) {
    sampleRateHz_ = sampleRateHz;
    dispatch(kPlaxMainsChanged, 0, 0);
    dispatch(kPlaxSetSampleRate, 0, 0, nullptr, sampleRateHz);
    dispatch(kPlaxMainsChanged, 0, 1);
}

void PlaxLibrary::processReplacing(float** inputs, float** outputs, int32_t frames) {
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

intptr_t PlaxLibrary::hostCallback(PlaxEffect* effect, int32_t opcode, int32_t index,
                                   intptr_t value, void* ptr, float opt) {
    // While `main` runs the record is not ours yet: only the version is asked then.
    auto* self = effect ? static_cast<PlaxLibrary*>(effect->user) : nullptr;
    if (!self) return opcode == kPlaxHostVersion ? kOrqPlaxVersion : 0;
    return self->answer(opcode, index, value, ptr, opt);
}

intptr_t PlaxLibrary::answer(int32_t opcode, int32_t index, intptr_t value, void*, float opt) {
    switch (opcode) {
    case kPlaxHostVersion: return kOrqPlaxVersion;
    case kPlaxHostAutomate: automated.emplace_back(index, opt); return 0;
    case kPlaxHostCurrentId: return effect_ ? effect_->uniqueId : 0;
    case kPlaxHostIdle:
        if (onIdle) onIdle();
        return 0;
    case kPlaxHostPinConnected: return index >= 0 && index < 2 ? 1 : 0; // two in, two out
    case kPlaxHostGetSampleRate: return intptr_t(sampleRateHz_);
    case kPlaxHostGetBlockSize: return blockFrames_;
    case kPlaxHostSizeWindow:
        return onSizeWindow ? onSizeWindow(index, int32_t(value)) : 0;
    case kPlaxHostUpdateDisplay: return 1;
    default: return 0;
    }
}

} // namespace orq::host
