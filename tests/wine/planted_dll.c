/* A DLL planted beside Velto.exe under the name of a system component:
   when it is loaded, its DllMain records that it ran by creating the file
   "velto-planted-<VELTO_PLANTED_NAME>.txt" in the current folder. */
#include <windows.h>

#ifndef VELTO_PLANTED_NAME
#error "build with -DVELTO_PLANTED_NAME=<name>"
#endif
#define TEXT_OF2(name) #name
#define TEXT_OF(name) TEXT_OF2(name)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    HANDLE record = CreateFileA("velto-planted-" TEXT_OF(VELTO_PLANTED_NAME) ".txt", GENERIC_WRITE, 0, NULL,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (record != INVALID_HANDLE_VALUE) CloseHandle(record);
    return TRUE;
}
