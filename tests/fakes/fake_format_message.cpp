// A system message table of the test's choosing, for the trimming and
// fallback logic of the Windows error text.
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/win_api.h"

std::map<DWORD, std::wstring> fakeMessageTable;
int fakeLocalFreeCalls = 0;
DWORD fakeLastFormatFlags = 0;

extern "C" DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD code, DWORD language, LPWSTR buffer,
                                       DWORD size, va_list* arguments) {
    fakeLastFormatFlags = (source == nullptr && language == 0 && size == 0 && arguments == nullptr) ? flags : 0;
    const auto entry = fakeMessageTable.find(code);
    if (entry == fakeMessageTable.end()) return 0;
    auto* copy = static_cast<wchar_t*>(std::calloc(entry->second.size() + 1, sizeof(wchar_t)));
    std::memcpy(copy, entry->second.data(), entry->second.size() * sizeof(wchar_t));
    *reinterpret_cast<LPWSTR*>(buffer) = copy;
    return static_cast<DWORD>(entry->second.size());
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL memory) {
    ++fakeLocalFreeCalls;
    std::free(memory);
    return nullptr;
}
