// Velto.exe runs as administrator. The user's temporary folder, and every
// folder above it, is the user's to steer: TMP and TEMP come from
// HKCU\Environment, which any process of the user may change without
// elevation, and the user's folders may be replaced by directory junctions,
// which need no privilege either, even junctions into the object manager,
// where any user may make links with any name and target. An elevated
// process that makes, clears, writes or deletes by a name under such a
// folder can be led to any file on the machine.
//
// Windows' own temporary folder is decided by no variable of the
// environment (GetSystemWindowsDirectoryW reads none, and %windir% would be
// the user's to set), and no folder on its path can be changed without
// elevation: users may add entries of their own to it, but may neither
// open nor rename nor remove those of others. The staging folder is made
// there, under a name that is new and unguessable on every run, so nothing
// that stands at a name already is ever opened, moved or removed.
#include "verify/staging_location.h"


#include "platform/win_api.h"
#include "verify/hex_text.h"

namespace {

constexpr wchar_t kStagingFolderPrefix[] = L"VeltoBootstrap-";
constexpr std::size_t kPrefixLength = sizeof(kStagingFolderPrefix) / sizeof(wchar_t) - 1;
constexpr ULONG kRandomBytes = 16;
constexpr UINT kWindowsFolderCapacity = MAX_PATH + 1;

bool IsUpperHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
}

}  // namespace

const wchar_t kStagingFolderPattern[] = L"VeltoBootstrap-*";

std::wstring SystemTempFolder() {
    wchar_t windows[kWindowsFolderCapacity] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, kWindowsFolderCapacity);
    if (length == 0 || length >= kWindowsFolderCapacity) return {};
    std::wstring folder(windows, length);
    // Only the root of a drive ends in a backslash already.
    if (folder.back() != L'\\') folder += L'\\';
    return folder + L"Temp\\";
}

bool MakeStagingFolderName(std::wstring& name) {
    std::uint8_t random[kRandomBytes] = {};
    if (!NT_SUCCESS(BCryptGenRandom(nullptr, random, kRandomBytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    name = kStagingFolderPrefix + BytesToHex(random, kRandomBytes);
    return true;
}

bool IsStagingFolderName(const std::wstring& name) {
    if (name.size() != kPrefixLength + 2 * kRandomBytes || name.compare(0, kPrefixLength, kStagingFolderPrefix) != 0) {
        return false;
    }
    for (std::size_t i = kPrefixLength; i < name.size(); ++i) {
        if (!IsUpperHexDigit(name[i])) return false;
    }
    return true;
}
