// Splitting one fuzz input into the choices and the text a target needs,
// and stopping with a report when a property does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace velto::fuzz {

struct FuzzInput {
    const std::uint8_t* data;
    std::size_t size;

    // The next byte, or 0 once the input is used up.
    std::uint8_t TakeByte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }

    std::string TakeBytes(std::size_t count) {
        count = count < size ? count : size;
        std::string taken(reinterpret_cast<const char*>(data), count);
        data += count;
        size -= count;
        return taken;
    }

    std::string TakeRest() { return TakeBytes(size); }
};

// A property failed: libFuzzer records the input as a finding.
[[noreturn]] inline void Violated(const char* property) {
    std::fprintf(stderr, "property violated: %s\n", property);
    std::abort();
}

inline void Require(bool holds, const char* property) {
    if (!holds) Violated(property);
}

}  // namespace velto::fuzz
