/* A program for the launch tests: it writes the command line it received to
   its own path + ".cmdline" (UTF-16) and ends with the number that follows
   the last space of its file name ("exit 3010.exe" ends with 3010). */
#include <windows.h>
#include <wchar.h>

int wmain(void) {
    wchar_t self[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, self, MAX_PATH);
    wchar_t record[MAX_PATH + 16];
    swprintf(record, MAX_PATH + 16, L"%ls.cmdline", self);
    HANDLE file = CreateFileW(record, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        const wchar_t* line = GetCommandLineW();
        DWORD written = 0;
        WriteFile(file, line, (DWORD)(wcslen(line) * sizeof(wchar_t)), &written, NULL);
        CloseHandle(file);
    }
    const wchar_t* number = wcsrchr(self, L' ');
    return number != NULL ? (int)wcstoul(number + 1, NULL, 10) : 0;
}
