// Prints WinVerifyTrust's status for each file named on the command line,
// for the memory and time measurement script and for looking at a fixture
// by hand. Exits 0 when every file got status 0.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/win_api.h"
#include "platform/linux/support/text_conversion.h"
#include "verify/trust_request.h"

namespace {

bool WidePath(std::string_view utf8, std::wstring& wide) {
    const long long length = velto::platform::DecodeUtf8(utf8, nullptr, false);
    if (length < 0) {
        return false;
    }
    wide.assign(static_cast<std::size_t>(length), L'\0');
    velto::platform::DecodeUtf8(utf8, wide.data(), false);
    return true;
}

LONG VerifyOnce(const std::wstring& path) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file;
    WINTRUST_DATA data = MakeFileTrustRequest(file, path);
    const LONG status = WinVerifyTrust(nullptr, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nullptr, &action, &data);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0;
    for (int index = 1; index < argc; ++index) {
        std::wstring path;
        if (!WidePath(argv[index], path)) {
            std::fprintf(stderr, "%s: not UTF-8\n", argv[index]);
            ++failures;
            continue;
        }
        const LONG status = VerifyOnce(path);
        std::printf("0x%08X %s\n", static_cast<unsigned>(status), argv[index]);
        failures += status == 0 ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
