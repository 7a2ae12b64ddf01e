#include "transmit/hex_text.h"

namespace quenlet {

namespace {

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string removeBlanks(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' && c != '\r' && c != '\n') kept += c;
    }
    return kept;
}

bool isHexDigits(std::string_view text) {
    for (const char c : text) {
        if (digitValue(c) < 0) return false;
    }
    return true;
}

std::vector<std::uint8_t> hexDigitsToBytes(std::string_view digits) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((digits.size() + 1) / 2);
    for (size_t i = 0; i < digits.size(); i += 2) {
        int value = digitValue(digits[i]);
        if (i + 1 < digits.size()) value = value * 16 + digitValue(digits[i + 1]);
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

void appendHexPairs(std::string& out, const std::uint8_t* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.reserve(out.size() + count * 3);
    for (size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
        out += ' ';
    }
}

}  // namespace quenlet
