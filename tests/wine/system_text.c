/* Prints the system's own text for a Windows error code, as UTF-8, so that
   a test can expect a message that ends in it. Usage: system_text.exe CODE */
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 64;
    const DWORD code = (DWORD)wcstoul(argv[1], NULL, 0);
    wchar_t* text = NULL;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                            FORMAT_MESSAGE_FROM_SYSTEM,
                                        NULL, code, 0, (LPWSTR)&text, 0, NULL);
    if (length == 0 || text == NULL) return 1;
    static char utf8[65536];
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, utf8, sizeof(utf8), NULL, NULL);
    _setmode(_fileno(stdout), _O_BINARY);
    fwrite(utf8, 1, (size_t)size, stdout);
    LocalFree(text);
    return 0;
}
