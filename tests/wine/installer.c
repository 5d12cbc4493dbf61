/* The test installer: records the command line it was started with in
   "velto-installer-command-line.txt" (UTF-16) in its current folder, which
   it inherits from the bootstrapper, and ends with VELTO_TEST_EXIT_CODE. */
#include <windows.h>
#include <wchar.h>

#ifndef VELTO_TEST_EXIT_CODE
#error "build with -DVELTO_TEST_EXIT_CODE=<code>"
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance, (void)previous, (void)arguments, (void)show;
    HANDLE file = CreateFileW(L"velto-installer-command-line.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 250;
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, line, (DWORD)(wcslen(line) * sizeof(wchar_t)), &written, NULL);
    CloseHandle(file);
    return wrote ? VELTO_TEST_EXIT_CODE : 251;
}
