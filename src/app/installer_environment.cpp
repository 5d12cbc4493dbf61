// The elevated Velto.exe gets the user's environment, which comes from
// HKCU\Environment and which any process of the user can change. Two kinds
// of variables there would run the user's choice of code in the elevated
// installer:
//   - TEMP and TMP: installers unpack into them and run what they
//     unpacked. They name a folder inside the staging folder instead,
//     which only elevated code can change.
//   - the .NET runtime's profiler and startup-hook variables, which make
//     it load a DLL from a path they name. They are left out.
// Everything else, PATH among it, is passed on as it is.
#include "app/installer_environment.h"

#include <algorithm>
#include <string_view>

#include "platform/win_api.h"

namespace {

struct Entry {
    std::wstring name;  // upper case, for comparing and sorting
    std::wstring text;  // "NAME=value" as it was
};

// Names compared without case, as Windows compares them; the names that
// matter here are ASCII.
std::wstring UpperAscii(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return upper;
}

bool StartsWith(const std::wstring& text, std::wstring_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// COR_PROFILER covers COR_PROFILER_PATH and its _32, _64 and _ARM64
// variants; CORECLR_PROFILER likewise.
bool IsLeftOut(const std::wstring& name) {
    return name == L"TEMP" || name == L"TMP" || name == L"COR_ENABLE_PROFILING" || StartsWith(name, L"COR_PROFILER") ||
           name == L"CORECLR_ENABLE_PROFILING" || StartsWith(name, L"CORECLR_PROFILER") ||
           name == L"DOTNET_STARTUP_HOOKS";
}

// An entry's name ends at the first "=" after its first character: the
// hidden per-drive entries ("=C:=C:\\Users") begin with one.
Entry MakeEntry(std::wstring_view text) {
    const std::size_t equals = text.find(L'=', 1);
    return Entry{UpperAscii(text.substr(0, equals)), std::wstring(text)};
}

bool ReadEnvironment(std::vector<Entry>& entries) {
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) return false;
    for (const wchar_t* text = block; *text != L'\0';) {
        const std::wstring_view entry(text);
        entries.push_back(MakeEntry(entry));
        text += entry.size() + 1;
    }
    FreeEnvironmentStringsW(block);
    return true;
}

}  // namespace

std::vector<wchar_t> MakeInstallerEnvironment(const std::wstring& tempFolder) {
    std::vector<Entry> entries;
    if (!ReadEnvironment(entries)) return {};
    entries.erase(std::remove_if(entries.begin(), entries.end(), [](const Entry& entry) { return IsLeftOut(entry.name); }),
                  entries.end());
    entries.push_back(MakeEntry(L"TEMP=" + tempFolder));
    entries.push_back(MakeEntry(L"TMP=" + tempFolder));
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& left, const Entry& right) { return left.name < right.name; });
    std::vector<wchar_t> block;
    for (const Entry& entry : entries) {
        block.insert(block.end(), entry.text.begin(), entry.text.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}
