// libFuzzer target for the layer's WinHttpCrackUrl, which splits the
// installer address from the manifest. The first byte chooses the flags
// and how the length is given; every further byte is one code unit, and
// 0xFE takes the next two bytes as one unit beyond Latin-1. A URL that
// cracks must crack the same way into pointers and into buffers, every
// component must lie inside the URL, and buffers one unit too small must
// be refused with the size they need, without a write past them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/win_api.h"

namespace {

using namespace velto::fuzz;

struct Component {
    LPWSTR URL_COMPONENTS::*text;
    DWORD URL_COMPONENTS::*length;
};

constexpr Component kComponents[] = {
    {&URL_COMPONENTS::lpszScheme, &URL_COMPONENTS::dwSchemeLength},
    {&URL_COMPONENTS::lpszHostName, &URL_COMPONENTS::dwHostNameLength},
    {&URL_COMPONENTS::lpszUserName, &URL_COMPONENTS::dwUserNameLength},
    {&URL_COMPONENTS::lpszPassword, &URL_COMPONENTS::dwPasswordLength},
    {&URL_COMPONENTS::lpszUrlPath, &URL_COMPONENTS::dwUrlPathLength},
    {&URL_COMPONENTS::lpszExtraInfo, &URL_COMPONENTS::dwExtraInfoLength},
};

std::wstring DecodeUnits(FuzzInput& input) {
    std::wstring url;
    while (input.size > 0) {
        const std::uint8_t byte = input.TakeByte();
        if (byte == 0xFE && input.size >= 2) {
            const std::uint8_t low = input.TakeByte();
            url.push_back(static_cast<wchar_t>(low | (input.TakeByte() << 8)));
        } else {
            url.push_back(static_cast<wchar_t>(byte));
        }
    }
    return url;
}

URL_COMPONENTS AskForPointers() {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    for (const Component& component : kComponents) parts.*component.length = static_cast<DWORD>(-1);
    return parts;
}

// Buffers of the given sizes, each allocated at exactly that size.
URL_COMPONENTS AskForCopies(const std::vector<DWORD>& sizes, std::vector<std::unique_ptr<wchar_t[]>>& buffers) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    for (std::size_t i = 0; i < std::size(kComponents); ++i) {
        buffers.push_back(std::make_unique<wchar_t[]>(sizes[i]));
        parts.*kComponents[i].text = buffers.back().get();
        parts.*kComponents[i].length = sizes[i];
    }
    return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input{data, size};
    const std::uint8_t choices = input.TakeByte();
    const std::wstring url = DecodeUnits(input);
    const DWORD flags = (choices & 1) != 0 ? ICU_REJECT_USERPWD : 0;
    // A length of 0 means a terminated URL, which ends at its first zero unit.
    const DWORD given = (choices & 2) != 0 ? 0 : static_cast<DWORD>(url.size());
    const std::size_t length = given != 0 ? url.size() : url.find(L'\0') == std::wstring::npos ? url.size()
                                                                                            : url.find(L'\0');

    URL_COMPONENTS pointers = AskForPointers();
    if (!WinHttpCrackUrl(url.c_str(), given, flags, &pointers)) return 0;
    Require(pointers.nScheme == INTERNET_SCHEME_HTTP || pointers.nScheme == INTERNET_SCHEME_HTTPS, "a known scheme");
    Require(pointers.dwHostNameLength > 0, "a host");
    std::vector<DWORD> needed;
    for (const Component& component : kComponents) {
        const wchar_t* text = pointers.*component.text;
        const DWORD count = pointers.*component.length;
        Require(text >= url.c_str() && text + count <= url.c_str() + length, "a component lies inside the URL");
        needed.push_back(count + 1);
    }

    std::vector<std::unique_ptr<wchar_t[]>> buffers;
    URL_COMPONENTS copies = AskForCopies(needed, buffers);
    Require(WinHttpCrackUrl(url.c_str(), given, flags, &copies) != FALSE, "exact buffers take every component");
    for (const Component& component : kComponents) {
        const std::wstring copied(copies.*component.text, copies.*component.length);
        Require(copied == std::wstring(pointers.*component.text, pointers.*component.length),
                "copies equal the components");
        Require((copies.*component.text)[copies.*component.length] == L'\0', "copies are terminated");
    }
    Require(copies.nPort == pointers.nPort && copies.nScheme == pointers.nScheme, "the same port and scheme");

    const std::size_t shortened = choices % std::size(kComponents);
    if (needed[shortened] > 1) {
        std::vector<DWORD> sizes = needed;
        --sizes[shortened];
        std::vector<std::unique_ptr<wchar_t[]>> shortBuffers;
        URL_COMPONENTS tooSmall = AskForCopies(sizes, shortBuffers);
        Require(!WinHttpCrackUrl(url.c_str(), given, flags, &tooSmall) &&
                    GetLastError() == ERROR_INSUFFICIENT_BUFFER,
                "a buffer one unit short is refused");
        Require(tooSmall.*kComponents[shortened].length == needed[shortened], "the needed size is reported");
    }
    return 0;
}
