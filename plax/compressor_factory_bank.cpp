#include "plax/compressor_plax.h"

#include <cstring>

namespace orq::plax {

namespace {

// The factory bank as hexadecimal text (tools: plax/compressor_factory_bank.py).
constexpr char kFactoryBankText[] =
#include "plax/compressor_factory_bank.inc"
    ;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::vector<uint8_t> compressorFactoryBank() {
    const size_t digits = sizeof kFactoryBankText - 1;
    std::vector<uint8_t> bytes;
    if (digits % 2 != 0) return bytes;
    bytes.reserve(digits / 2);
    for (size_t i = 0; i < digits; i += 2) {
        const int high = hexDigit(kFactoryBankText[i]);
        const int low = hexDigit(kFactoryBankText[i + 1]);
        if (high < 0 || low < 0) return {};
        bytes.push_back(uint8_t(high * 16 + low));
    }
    return bytes;
}

} // namespace orq::plax
