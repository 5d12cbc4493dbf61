/* The one tiny Windows program that tests and the demo use as an installer.
 * What it does is chosen when it is built:
 *
 *   -DINSTALLER_MESSAGE="text"    prints the line on standard output.
 *   -DINSTALLER_EXIT_CODE=N       ends with N. Without it, ends with the
 *                                 number after the last space of its own
 *                                 file name ("Setup 3010.exe" ends with
 *                                 3010), or 0.
 *   -DINSTALLER_RECORD=L"path"    writes the command line it was started
 *                                 with (UTF-16) to path, the names in its
 *                                 own folder, one per line, to path
 *                                 ".folder", and its current folder and
 *                                 the variables in kRecordedVariables,
 *                                 "NAME=value" per line ("NAME unset"
 *                                 when missing), to path ".environment";
 *                                 a relative path is taken from the
 *                                 current folder.
 *   -DINSTALLER_RECORD_BESIDE_SELF  writes the command line to its own
 *                                 path + ".cmdline" instead.
 *
 * With VELTO_TEST_INSTALLER_WAITS set in its environment it then waits, up
 * to a minute, for Ctrl-C and says that it saw it, as a long installation
 * that handles Ctrl-C itself would; without Ctrl-C it ends with 124, as
 * timeout(1) does.
 *
 * Built with -shared it is a DLL: a signed file that Windows will not
 * start as a program. */
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

#ifdef INSTALLER_MESSAGE
static const char* const kMessage = INSTALLER_MESSAGE;
#else
static const char* const kMessage = NULL;
#endif
#ifdef INSTALLER_EXIT_CODE
static const BOOL kExitCodeFromName = FALSE;
static const unsigned long kExitCode = INSTALLER_EXIT_CODE;
#else
static const BOOL kExitCodeFromName = TRUE;
static const unsigned long kExitCode = 0;
#endif
#ifdef INSTALLER_RECORD
static const wchar_t* const kRecord = INSTALLER_RECORD;
#else
static const wchar_t* const kRecord = NULL;
#endif
#ifdef INSTALLER_RECORD_BESIDE_SELF
static const BOOL kRecordBesideSelf = TRUE;
#else
static const BOOL kRecordBesideSelf = FALSE;
#endif

static BOOL write_text(const wchar_t* name, const wchar_t* text) {
    HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, text, (DWORD)(wcslen(text) * sizeof(wchar_t)), &written, NULL);
    CloseHandle(file);
    return wrote;
}

static void own_path(wchar_t* path) {
    path[0] = L'\0';
    GetModuleFileNameW(NULL, path, MAX_PATH);
}

/* The number after the last space of the program's own file name. */
static unsigned long exit_code_from_name(void) {
    wchar_t self[MAX_PATH + 1];
    own_path(self);
    const wchar_t* number = wcsrchr(self, L' ');
    return number != NULL ? wcstoul(number + 1, NULL, 10) : 0;
}

/* The entries of the folder this program was started from. */
static void list_own_folder(wchar_t* listing, size_t capacity) {
    wchar_t pattern[MAX_PATH + 2];
    own_path(pattern);
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

static const wchar_t* const kRecordedVariables[] = {L"TEMP", L"TMP", L"COR_ENABLE_PROFILING", L"COR_PROFILER",
                                                     L"DOTNET_STARTUP_HOOKS"};

/* The current folder and the variables that decide what the installer
   runs and where it unpacks. */
static void describe_environment(wchar_t* text, size_t capacity) {
    wchar_t value[MAX_PATH + 1];
    wcscpy(text, L"folder=");
    GetCurrentDirectoryW(MAX_PATH, value);
    wcscat(text, value);
    wcscat(text, L"\n");
    for (size_t i = 0; i < sizeof(kRecordedVariables) / sizeof(kRecordedVariables[0]); ++i) {
        const DWORD length = GetEnvironmentVariableW(kRecordedVariables[i], value, MAX_PATH + 1);
        if (wcslen(text) + MAX_PATH + 32 >= capacity) break;
        wcscat(text, kRecordedVariables[i]);
        wcscat(text, length == 0 || length > MAX_PATH ? L" unset" : L"=");
        if (length != 0 && length <= MAX_PATH) wcscat(text, value);
        wcscat(text, L"\n");
    }
}

/* Returns FALSE when a record could not be written. */
static BOOL record_start(void) {
    wchar_t name[MAX_PATH + 16];
    if (kRecord != NULL) {
        static wchar_t listing[8192];
        static wchar_t environment[8192];
        list_own_folder(listing, sizeof(listing) / sizeof(listing[0]));
        describe_environment(environment, sizeof(environment) / sizeof(environment[0]));
        swprintf(name, sizeof(name) / sizeof(name[0]), L"%ls.folder", kRecord);
        if (!write_text(name, listing)) return FALSE;
        swprintf(name, sizeof(name) / sizeof(name[0]), L"%ls.environment", kRecord);
        return write_text(name, environment) && write_text(kRecord, GetCommandLineW());
    }
    if (kRecordBesideSelf) {
        own_path(name);
        wcscat(name, L".cmdline");
        return write_text(name, GetCommandLineW());
    }
    return TRUE;
}

#define NO_CTRL_C_EXIT 124

static HANDLE interrupted;

static BOOL WINAPI on_console_control(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;
    SetEvent(interrupted);
    return TRUE;
}

/* Returns whether Ctrl-C came within a minute. */
static BOOL wait_for_ctrl_c(void) {
    interrupted = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (interrupted == NULL || !SetConsoleCtrlHandler(on_console_control, TRUE)) return FALSE;
    printf("Waiting for Ctrl-C.\n");
    fflush(stdout);
    const DWORD waited = WaitForSingleObject(interrupted, 60000);
    CloseHandle(interrupted);
    if (waited != WAIT_OBJECT_0) return FALSE;
    printf("The installer saw Ctrl-C.\n");
    fflush(stdout);
    return TRUE;
}

int wmain(void) {
    if (!record_start()) return 250;
    if (kMessage != NULL) {
        printf("%s\n", kMessage);
        fflush(stdout);
    }
    if (_wgetenv(L"VELTO_TEST_INSTALLER_WAITS") != NULL && !wait_for_ctrl_c()) return NO_CTRL_C_EXIT;
    return (int)(kExitCodeFromName ? exit_code_from_name() : kExitCode);
}
