/* A tiny Windows console program that stands in for the Velto installer in
 * tests and in the demo. It says that it ran, can record the command line
 * it was given, and ends with the exit code it was built with. With
 * VELTO_TEST_INSTALLER_WAITS set in its environment it first waits, up to a
 * minute, for Ctrl-C and says that it saw it, as a long installation that
 * handles Ctrl-C itself would. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#ifndef EXIT_CODE
#define EXIT_CODE 0
#endif

#ifdef COMMAND_LINE_FILE
static void RecordCommandLine(void) {
    const wchar_t* line = GetCommandLineW();
    char utf8[4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof(utf8), NULL, NULL);
    FILE* file = _wfopen(COMMAND_LINE_FILE, L"wb");
    if (file != NULL && length > 0) {
        fwrite(utf8, 1, (size_t)length - 1, file);
    }
    if (file != NULL) fclose(file);
}
#endif

/* Its exit code when no Ctrl-C came, as timeout(1) reports it. */
#define NO_CTRL_C_EXIT 124

static HANDLE interrupted;

static BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;
    SetEvent(interrupted);
    return TRUE;
}

static int WaitForCtrlC(void) {
    interrupted = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (interrupted == NULL || !SetConsoleCtrlHandler(OnConsoleControl, TRUE)) return NO_CTRL_C_EXIT;
    printf("Waiting for Ctrl-C.\n");
    fflush(stdout);
    const DWORD waited = WaitForSingleObject(interrupted, 60000);
    CloseHandle(interrupted);
    if (waited != WAIT_OBJECT_0) return NO_CTRL_C_EXIT;
    printf("The installer saw Ctrl-C.\n");
    fflush(stdout);
    return EXIT_CODE;
}

int wmain(void) {
#ifdef COMMAND_LINE_FILE
    RecordCommandLine();
#endif
    printf("%s\n", MESSAGE);
    fflush(stdout);
    if (_wgetenv(L"VELTO_TEST_INSTALLER_WAITS") != NULL) return WaitForCtrlC();
    return EXIT_CODE;
}
