// The loader, as far as the bootstrapper asks for it. The layer's system
// folder holds exactly the components it implements itself, linked into the
// program; nothing is ever loaded from the file system, so no file a
// process can write is ever run as a library.
#include <string>
#include <string_view>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/ascii_case.h"
#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"

namespace {

using velto::platform::Fail;

constexpr std::wstring_view kSystemLibraries[] = {L"winhttp.dll", L"bcrypt.dll", L"wintrust.dll", L"crypt32.dll"};

std::wstring Lowered(std::wstring_view text) {
    std::wstring lower;
    for (wchar_t c : text) lower.push_back(velto::platform::AsciiLower(c));
    return lower;
}

// A bare name of a library in the system folder, compared as Windows
// compares file names; without an extension ".dll" is meant, as the
// Windows loader assumes.
bool IsSystemLibrary(std::wstring_view name) {
    if (name.empty() || name.find_first_of(L"\\/:") != std::wstring_view::npos) return false;
    std::wstring wanted = Lowered(name);
    if (wanted.find(L'.') == std::wstring::npos) wanted += L".dll";
    for (std::wstring_view library : kSystemLibraries) {
        if (wanted == library) return true;
    }
    return false;
}

}  // namespace

extern "C" BOOL SetDefaultDllDirectories(DWORD DirectoryFlags) {
    // Every search already ends in the system folder: only that is accepted.
    if (DirectoryFlags != LOAD_LIBRARY_SEARCH_SYSTEM32) return Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}

extern "C" HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    if (lpLibFileName == nullptr || hFile != nullptr || (dwFlags != 0 && dwFlags != LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return velto::platform::FailNull(ERROR_INVALID_PARAMETER);
    }
    if (!IsSystemLibrary(std::wstring_view(lpLibFileName, velto::platform::WideLength(lpLibFileName)))) {
        return velto::platform::FailNull(ERROR_MOD_NOT_FOUND);
    }
    velto::platform::KernelObject module;
    module.kind = velto::platform::ObjectKind::Module;
    return static_cast<HMODULE>(velto::platform::AddObject(module));
}

extern "C" BOOL FreeLibrary(HMODULE hLibModule) {
    return velto::platform::TakeModule(hLibModule) ? TRUE : FALSE;
}
