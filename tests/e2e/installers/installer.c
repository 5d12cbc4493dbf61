/* A tiny Windows console program that stands in for the Velto installer in
 * tests and in the demo. It says that it ran, can record the command line
 * it was given, and ends with the exit code it was built with. */
#include <stdio.h>
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

int wmain(void) {
#ifdef COMMAND_LINE_FILE
    RecordCommandLine();
#endif
    printf("%s\n", MESSAGE);
    fflush(stdout);
    return EXIT_CODE;
}
