/* The test installer: records the command line it was started with in
   VELTO_TEST_RECORD (UTF-16) in its current folder, which it inherits from
   the bootstrapper, and the names of the entries of its own folder, one
   per line, in VELTO_TEST_RECORD + ".folder"; ends with
   VELTO_TEST_EXIT_CODE. */
#include <windows.h>
#include <wchar.h>

#ifndef VELTO_TEST_EXIT_CODE
#error "build with -DVELTO_TEST_EXIT_CODE=<code>"
#endif
#ifndef VELTO_TEST_RECORD
#define VELTO_TEST_RECORD L"velto-installer-command-line.txt"
#endif

static BOOL write_text(const wchar_t* name, const wchar_t* text) {
    HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, text, (DWORD)(wcslen(text) * sizeof(wchar_t)), &written, NULL);
    CloseHandle(file);
    return wrote;
}

/* The entries of the folder this program was started from. */
static void list_own_folder(wchar_t* listing, size_t capacity) {
    wchar_t pattern[MAX_PATH + 2] = {0};
    GetModuleFileNameW(NULL, pattern, MAX_PATH);
    wchar_t* slash = wcsrchr(pattern, L'\\');
    if (slash == NULL) return;
    wcscpy(slash + 1, L"*");
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0) continue;
        if (wcslen(listing) + wcslen(entry.cFileName) + 2 >= capacity) break;
        wcscat(listing, entry.cFileName);
        wcscat(listing, L"\n");
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
    (void)instance, (void)previous, (void)arguments, (void)show;
    static wchar_t listing[8192];
    list_own_folder(listing, sizeof(listing) / sizeof(listing[0]));
    if (!write_text(VELTO_TEST_RECORD L".folder", listing)) return 250;
    return write_text(VELTO_TEST_RECORD, GetCommandLineW()) ? (int)VELTO_TEST_EXIT_CODE : 251;
}
