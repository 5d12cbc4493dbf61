// Velto.exe only: what happens when a delay-loaded call cannot be bound.
// The run loads every delay-loaded component from the system folder before
// it does anything else, so this can only be an export that the installed
// Windows lacks. The toolchain's default would raise an exception that
// nothing catches; instead the run ends with the message and exit code of
// a component that could not be loaded. Every function the run calls
// exists on Windows 10 and 11, which the application manifest requires.
#include <windows.h>
#include <delayimp.h>

#include <string>

#include "app/bootstrap_sequence.h"
#include "base/windows_error_text.h"
#include "manifest/utf8_to_wide.h"

namespace {

FARPROC WINAPI EndRunOnDelayLoadFailure(unsigned, PDelayLoadInfo info) {
    const std::wstring component = Utf8ToWide(info->szDll != nullptr ? info->szDll : "");
    const std::wstring text = L"Velto could not load the Windows component " + component + L": " +
                              DescribeWindowsError(info->dwLastError);
    MessageBoxW(nullptr, text.c_str(), L"Velto", MB_ICONERROR | MB_SETFOREGROUND);
    ExitProcess(kExitSystemLibrary);
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliFailureHook2 = EndRunOnDelayLoadFailure;
}
