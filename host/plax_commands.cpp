// orq's Plax road: `orq process --road plax` runs a file through a Plax effect, and `orq presets`
// lists, chooses, imports and exports its programs and banks.
#include "host/commands.h"
#include "host/output_files.h"
#include "host/plax_host.h"
#include "host/stream_counts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace orq::host {

namespace {

constexpr int32_t kPlaxChunkFrames = 4096;
constexpr int32_t kPlaxChannels = 2;

void meter(std::vector<ChannelMeter>& meters, float* const* channels, int32_t count,
           int32_t offset, int32_t frames) {
    for (int32_t c = 0; c < count; ++c)
        for (int32_t t = offset; t < offset + frames; ++t) {
            const float x = std::fabs(channels[c][t]);
            meters[size_t(c)].peak = std::max(meters[size_t(c)].peak, x);
            if (x >= 1.0f) ++meters[size_t(c)].clips;
        }
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read '" + path + "'");
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

void applyPlaxSettings(PlaxLibrary& plax, const std::vector<Setting>& settings) {
    for (const Setting& s : settings) {
        if (s.element >= 0)
            throw std::runtime_error("'" + s.key + "[" + std::to_string(s.element) +
                                     "]': Plax parameters have no elements");
        const int32_t index = plax.requireParameter(s.key);
        const float value = parseNumber(s.value, s.key);
        if (value < 0.0f || value > 1.0f)
            throw std::runtime_error("'" + s.key + "=" + s.value +
                                     "': the Plax road takes normalised values, 0 … 1");
        plax.setParameter(index, value);
    }
}

std::string processFileOnPlaxRoad(const ProcessOptions& o, const Progress& progress) {
    if (o.state || o.saveState)
        throw UsageError("the Plax road keeps its settings in programs: use orq presets");
    OutputFiles files;
    files.addInput(o.input, "the input");
    files.add(o.output, "the output", OutputKind::Audio);
    AudioFileReader input(o.input, o.format ? &*o.format : nullptr);
    const StreamFormat& format = input.format();
    if (format.channels < 1 || format.channels > kPlaxChannels)
        throw std::runtime_error("the Plax road takes one or two channels, not " +
                                 std::to_string(format.channels));
    PlaxLibrary plax(plaxLibraryPath(o.plugin));
    // The program goes in before the rate: setting the rate suspends and resumes the effect,
    // which brings the program to the engine, so the delay read below is the program's (its
    // band count sets it).
    if (o.program) plax.setProgram(*o.program);
    plax.setSampleRate(float(format.sampleRate));
    applyPlaxSettings(plax, o.settings);
    const int32_t latency = plax.latencyFrames();

    std::vector<float> in[kPlaxChannels], out[kPlaxChannels];
    float* inputs[kPlaxChannels];
    float* outputs[kPlaxChannels];
    for (int32_t c = 0; c < kPlaxChannels; ++c) {
        in[c].assign(kPlaxChunkFrames, 0.0f);
        out[c].assign(kPlaxChunkFrames, 0.0f);
        inputs[c] = in[c].data();
        outputs[c] = out[c].data();
    }
    std::vector<uint8_t> bytes(size_t(kPlaxChunkFrames) * size_t(format.bytesPerFrame()));
    std::vector<uint8_t> written(bytes.size());
    NonFiniteCountingSource counted(input);
    FullScaleCountingSink sink(files.audio(o.output, format), format);
    RunSummary summary;
    summary.latencyFrames = latency;
    summary.input.resize(size_t(format.channels));
    summary.output.resize(size_t(format.channels));
    int64_t toDrop = latency, done = 0;
    while (done < format.frames) {
        int64_t got = counted.read(bytes.data(), kPlaxChunkFrames);
        const bool tail = got == 0;
        if (tail) { // the input has ended: silence brings out the delayed rest
            got = std::min<int64_t>(kPlaxChunkFrames, format.frames - done + toDrop);
            for (std::vector<float>& channel : in) std::fill(channel.begin(), channel.end(), 0.0f);
        } else {
            convertIn(bytes.data(), format.format, format.channels, inputs, int32_t(got));
            meter(summary.input, inputs, format.channels, 0, int32_t(got));
            if (format.channels == 1) std::copy_n(in[0].begin(), got, in[1].begin());
        }
        plax.processReplacing(inputs, outputs, int32_t(got));
        const int32_t skip = int32_t(std::min<int64_t>(toDrop, got));
        toDrop -= skip;
        const int32_t kept = int32_t(std::min<int64_t>(got - skip, format.frames - done));
        if (kept > 0) {
            meter(summary.output, outputs, format.channels, skip, kept);
            convertOut(outputs, skip, format.format, format.channels, written.data(), kept);
            sink.write(written.data(), kept);
            done += kept;
        }
        if (progress) progress(done, format.frames);
    }
    files.commit();
    std::ostringstream text;
    text << "plug-in: " << plax.path() << " (plax road)\n";
    text << "format: " << describeFormat(format) << ", " << format.frames << " frames\n";
    text << "latency: " << latency << " frames\n";
    return text.str() + meterLines(summary) + nonFiniteLine(counted.nonFinite(), "input") +
           fullScaleLine(sink.atFullScale(), "lower the input level or the plug-in's gain");
}

PresetsOptions parsePresets(const std::vector<std::string>& args) {
    PresetsOptions o;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--program") {
            const std::string v = value();
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 0 || n > kProgramNumberMax)
                throw UsageError("--program takes a program number, not '" + v + "'");
            o.program = int32_t(n);
        } else if (a == "--load-bank")
            o.loadBank = value();
        else if (a == "--save-bank")
            o.saveBank = value();
        else if (a.starts_with("--"))
            throw UsageError("unknown option '" + a + "'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 1) throw UsageError("presets takes PLUGIN");
    o.plugin = positional[0];
    return o;
}

std::string presetsText(const PresetsOptions& o) {
    OutputFiles files;
    if (o.loadBank) files.addInput(*o.loadBank, "the bank");
    if (o.saveBank) files.add(*o.saveBank, "the saved bank");
    PlaxLibrary plax(plaxLibraryPath(o.plugin));
    if (o.loadBank) plax.setChunk(readBytes(*o.loadBank), false);
    if (o.program) plax.setProgram(*o.program);
    const int32_t current = plax.program();
    std::ostringstream text;
    text << "plug-in: " << plax.path() << " (plax road)\n";
    // Listing walks the bank, each visit saving the current values into the program left.
    const std::vector<uint8_t> bank = plax.chunk(false);
    for (int32_t p = 0; p < plax.programCount(); ++p) {
        plax.setProgram(p);
        text << (p == current ? "* " : "  ") << p << ": " << plax.programName() << "\n";
    }
    plax.setChunk(bank, false);
    plax.setProgram(current);
    text << "program " << current << " \"" << plax.programName() << "\":\n";
    for (int32_t i = 0; i < plax.parameterCount(); ++i) {
        const std::string label = plax.text(kPlaxGetParameterLabel, i);
        char normalised[32];
        std::snprintf(normalised, sizeof normalised, "%.6g", double(plax.getParameter(i)));
        text << "  " << plax.parameterName(i) << " = " << plax.text(kPlaxGetParameterDisplay, i)
             << (label.empty() ? "" : " " + label) << " (" << normalised << ")\n";
    }
    if (o.saveBank) {
        files.write(*o.saveBank, plax.chunk(false));
        files.commit();
        text << "bank saved: " << *o.saveBank << "\n";
    }
    return text.str();
}

int commandPresets(const std::vector<std::string>& args) {
    std::cout << presetsText(parsePresets(args));
    return 0;
}

} // namespace orq::host
