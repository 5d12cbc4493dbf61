// The process's environment as Windows hands it out: one block of
// "NAME=value" texts, each ending in a null, the block in one more. Linux
// keeps the environment as bytes; an entry that is not UTF-8 cannot be
// Windows text and is left out.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"

extern char** environ;

namespace {

std::vector<wchar_t> EnvironmentBlock() {
    std::vector<wchar_t> block;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const long long units = velto::platform::DecodeUtf8(text, nullptr, false);
        if (units <= 0) continue;
        const std::size_t at = block.size();
        block.resize(at + static_cast<std::size_t>(units) + 1, L'\0');
        velto::platform::DecodeUtf8(text, block.data() + at, false);
    }
    if (block.empty()) block.push_back(L'\0');  // an empty block is still two nulls
    block.push_back(L'\0');
    return block;
}

}  // namespace

extern "C" LPWCH GetEnvironmentStringsW() {
    const std::vector<wchar_t> block = EnvironmentBlock();
    auto* copy = static_cast<wchar_t*>(std::malloc(block.size() * sizeof(wchar_t)));
    if (copy == nullptr) return velto::platform::FailNull(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(copy, block.data(), block.size() * sizeof(wchar_t));
    return copy;
}

extern "C" BOOL FreeEnvironmentStringsW(LPWCH penv) {
    std::free(penv);
    return TRUE;
}
