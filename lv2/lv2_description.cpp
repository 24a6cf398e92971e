#include "lv2/lv2_description.h"

#include <cctype>
#include <cstring>

namespace orq::lv2 {

const char* portSymbol(const ControlPort& port, const TableParameterSet& set, char* buffer,
                       int32_t bufferSize) {
    if (port.symbol != nullptr) return port.symbol;
    const char* key = set.keyName(port.index);
    if (key == nullptr || bufferSize <= 0) return "";
    int32_t i = 0;
    for (; key[i] != '\0' && i < bufferSize - 1; ++i)
        buffer[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(key[i])));
    buffer[i] = '\0';
    return buffer;
}

std::string variantUri(const Description& description, int32_t channels) {
    return channels == 1 ? std::string(description.uri) + "_mono" : std::string(description.uri);
}

const char* portName(const ControlPort& port, const TableParameterSet& set) {
    if (port.name != nullptr) return port.name;
    const auto defs = set.table().defs;
    if (port.index >= 0 && size_t(port.index) < defs.size() && defs[size_t(port.index)].label)
        return defs[size_t(port.index)].label;
    const char* key = set.keyName(port.index);
    return key != nullptr ? key : "";
}

} // namespace orq::lv2
