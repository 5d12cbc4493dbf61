// Velto.exe runs elevated from a folder that any process of the user can
// write to (usually Downloads). Windows looks for a DLL that is not one of
// its KnownDLLs in the program's own folder first, so a winhttp.dll placed
// beside Velto.exe would run inside the elevated process. The executable
// therefore imports only KnownDLLs statically and delay-loads the four
// components below; the first thing the run does is to make the system
// folder the only place DLLs are searched and to load those four from it,
// so that a failure here ends the run before anything is downloaded or
// written, and the delay-loaded calls later find them already loaded.
//
// SetDefaultDllDirectories rather than a load-configuration directory with
// DependentLoadFlags: the GNU linker cannot write that directory, and the
// call also covers the components' own dependencies.
#include "app/system_libraries.h"

#include <iterator>
#include <tuple>

#include "base/windows_error_text.h"

namespace {

struct Component {
    const wchar_t* name;
    const wchar_t* failure;  // whole, so that nothing is built before the last error is read
};

constexpr Component kComponents[] = {
    {L"winhttp.dll", L"Velto could not load the Windows component winhttp.dll: "},
    {L"bcrypt.dll", L"Velto could not load the Windows component bcrypt.dll: "},
    {L"wintrust.dll", L"Velto could not load the Windows component wintrust.dll: "},
    {L"crypt32.dll", L"Velto could not load the Windows component crypt32.dll: "},
};

static_assert(std::size(kComponents) == std::tuple_size<decltype(SystemLibraries::modules)>::value);

// As the owners' end would: the last loaded first.
void ReleaseInReverse(SystemLibraries& libraries) {
    for (std::size_t i = libraries.modules.size(); i-- > 0;) libraries.modules[i].Reset();
}

}  // namespace

bool LoadSystemLibraries(SystemLibraries& libraries, std::wstring& errorText) {
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        errorText = LastErrorMessage(L"Velto could not restrict where Windows loads its components from: ");
        return false;
    }
    for (std::size_t i = 0; i < libraries.modules.size(); ++i) {
        libraries.modules[i].Reset(LoadLibraryExW(kComponents[i].name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (!libraries.modules[i]) {
            errorText = LastErrorMessage(kComponents[i].failure);
            ReleaseInReverse(libraries);
            return false;
        }
    }
    return true;
}
