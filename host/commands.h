// orq's subcommands beyond process: spectrum matching and the two analysers.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace orq::host {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// orq match --reference REF INPUT OUTPUT [--amount PERCENT] [--third-octave] [--save-state F]
int commandMatch(const std::vector<std::string>& args);
// orq spectrogram INPUT OUT.csv [--low-band] [--channel left|mean|right] [--output AUDIO]
int commandSpectrogram(const std::vector<std::string>& args);
// orq scope INPUT [--mono] [--output AUDIO]
int commandScope(const std::vector<std::string>& args);

} // namespace orq::host
