/* What a process of the user, without elevation, can try against a run.

       user_attack.exe folder|parent STAGED_FILE PLANTED_FILE
       user_attack.exe hold FOLDER

   folder: renames the staging folder (the one that holds STAGED_FILE)
           aside, makes it anew and copies PLANTED_FILE to STAGED_FILE;
   parent: does the same one folder further up (the temporary folder);
           both exit with 0 when PLANTED_FILE now stands at STAGED_FILE
           and with 1 when a step was refused.
   hold:   keeps FOLDER open without delete sharing, prints "held" and
           waits until its standard input ends.
   Each prints what happened. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

/* Cuts path at its last backslash: path becomes the folder. */
static void cut_last_part(wchar_t* path) {
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash != NULL) *slash = L'\0';
}

static int refused(const char* step) {
    printf("%s refused: error %lu\n", step, GetLastError());
    return 1;
}

static int hold(const wchar_t* folder) {
    HANDLE held = CreateFileW(folder, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (held == INVALID_HANDLE_VALUE) return refused("holding the folder");
    printf("held\n");
    fflush(stdout);
    while (getchar() != EOF) {
    }
    CloseHandle(held);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && wcscmp(argv[1], L"hold") == 0) return hold(argv[2]);
    if (argc != 4) return 2;
    const int parent = wcscmp(argv[1], L"parent") == 0;
    wchar_t folder[MAX_PATH];
    wcsncpy(folder, argv[2], MAX_PATH - 1);
    folder[MAX_PATH - 1] = L'\0';
    cut_last_part(folder);
    if (parent) cut_last_part(folder);
    wchar_t aside[MAX_PATH + 16];
    swprintf(aside, MAX_PATH + 16, L"%ls.swapped", folder);

    if (!MoveFileExW(folder, aside, 0)) return refused("renaming the folder");
    printf("renamed the folder aside\n");
    if (!CreateDirectoryW(folder, NULL)) return refused("making the folder anew");
    if (parent) {
        wchar_t staging[MAX_PATH];
        wcsncpy(staging, argv[2], MAX_PATH - 1);
        staging[MAX_PATH - 1] = L'\0';
        cut_last_part(staging);
        if (!CreateDirectoryW(staging, NULL)) return refused("making the staging folder anew");
    }
    if (!CopyFileW(argv[3], argv[2], FALSE)) return refused("planting the file");
    printf("planted the file at the staged path\n");
    return 0;
}
