// The main of every Windows test binary. It runs GoogleTest with two kinds
// of cases left out, each named with its reason in the output:
//  - cases that check a choice of the Linux layer rather than Windows
//    behaviour (left out everywhere);
//  - cases whose outcome Wine decides differently from Windows (left out
//    only under Wine).
#include "wine_differences.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace velto::test {

const char* WineVersion() {
    using GetVersion = const char* (*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC address = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
    if (address == nullptr) return nullptr;
    return reinterpret_cast<GetVersion>(reinterpret_cast<void (*)()>(address))();
}

}  // namespace velto::test

namespace {

struct LeftOut {
    const char* pattern;  // GoogleTest filter pattern
    bool onlyUnderWine;
    const char* reason;
};

const LeftOut kLeftOut[] = {
    {"MultiByteToWideChar.RefusesWhatItDoesNotSupport", false,
     "the Linux layer converts UTF-8 only; Windows also converts code page 1252"},
    {"BCrypt.UnknownAlgorithmIsNotFound", false, "the Linux layer offers SHA-256 only; Windows also offers MD5"},
    {"MultiByteToWideChar.SizeQueryThenConversionIntoExactlyThatSize", true,
     "when a surrogate pair does not fit at the end of the buffer, Wine 8 writes its first half and returns "
     "the count without an error; Windows fails with ERROR_INSUFFICIENT_BUFFER"},
    {"BCrypt.ReportsItsPropertiesAndHashes", true,
     "Wine's BCryptCreateHash ignores the size of the caller's hash object (Windows refuses one that is too "
     "small), and its BCryptHashData accepts data after BCryptFinishHash"},
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* wine = velto::test::WineVersion();
    std::printf("Running on %s%s\n", wine != nullptr ? "Wine " : "Windows", wine != nullptr ? wine : "");
    std::string patterns;
    for (const LeftOut& leftOut : kLeftOut) {
        if (leftOut.onlyUnderWine && wine == nullptr) continue;
        std::printf("Left out %s%s: %s\n", leftOut.pattern, leftOut.onlyUnderWine ? " under Wine" : "",
                    leftOut.reason);
        if (!patterns.empty()) patterns += ':';
        patterns += leftOut.pattern;
    }
    if (!patterns.empty()) {
        std::string filter = GTEST_FLAG_GET(filter);
        filter += (filter.find('-') == std::string::npos ? "-" : ":") + patterns;
        GTEST_FLAG_SET(filter, filter);
    }
    return RUN_ALL_TESTS();
}
