// A scriptable stand-in for the platform's file operations of the staging
// step, recording each call.
#pragma once

#include <string>
#include <vector>

#include "platform/win_api.h"

struct FileScript {
    std::wstring tempPath = L"C:\\Users\\me\\AppData\\Local\\Temp\\";
    DWORD tempPathResult = 0;          // 0: the length of tempPath
    bool descriptorFails = false;
    std::vector<NTSTATUS> folderCreates;  // the results of NtCreateFile, in turn; success once they run out
    bool removeSucceeds = false;       // RemoveDirectoryW at the folder's name
    bool deleteSucceeds = false;       // DeleteFileW at the folder's name
    bool moveSucceeds = false;         // MoveFileExW of the folder's name
    DWORD createError = 0;
    int failingWrite = -1;     // index of the WriteFile call that fails
    int shortWrite = -1;       // index of the WriteFile call that writes one byte less
    DWORD writeError = ERROR_DISK_FULL;
    DWORD holdError = 0;
    bool holdIsAnotherFile = false;

    std::vector<std::wstring> calls;
    std::vector<DWORD> writeSizes;
    std::size_t bytesWritten = 0;
};

FileScript& Files();
void ResetFiles();
