// A command line's number on arbitrary text, against a reference computed
// here in a different way (every digit kept, the size judged at the end),
// for both the answer and the value.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "numbers.h"

static bool reference(const std::string &text, uint32_t *value)
{
    bool hex = text.compare(0, 2, "0x") == 0;
    std::string digits = text.substr(hex ? 2 : 0);
    const char *allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos)
        return false;
    digits.erase(0, digits.find_first_not_of('0'));
    if (digits.size() > (hex ? 8u : 10u))
        return false;
    unsigned long long v = digits.empty() ? 0 : std::stoull(digits, nullptr, hex ? 16 : 10);
    if (v > UINT32_MAX)
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text ends at the first NUL, as an argument would.
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\0'));
    int value = 0x5A5A5A5A;
    uint32_t expected = 0x5A5A5A5A;
    bool understood = sndtools::number_understood(text.c_str(), &value);
    if (understood != reference(text, &expected) || static_cast<uint32_t>(value) != expected)
        abort();
    return 0;
}
