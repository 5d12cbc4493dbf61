// A scriptable stand-in for the platform's file operations of the staging
// step, recording each call. Security descriptors are real: the platform
// makes them from the texts scripted here.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/win_api.h"

struct FileScript {
    std::wstring windowsFolder = L"C:\\Windows";
    UINT windowsFolderResult = 0;      // 0: the length of windowsFolder
    std::vector<NTSTATUS> folderCreates;  // the results of NtCreateFile, in turn; success once they run out
    bool randomFails = false;          // each BCryptGenRandom fills its bytes with the call's number, from 1
    // What GetFinalPathNameByHandleW reports, in turn; empty, or once they
    // run out: the folder made.
    std::vector<std::wstring> finalPaths;
    // Folders in Windows' temporary folder: their names, and each one's
    // descriptor as text (empty: a link, not a folder).
    std::map<std::wstring, std::wstring> tempEntries;
    std::set<std::wstring> heldByAnotherRun;
    // What each folder holds, by the folder's path; a deletion takes the
    // name away.
    std::map<std::wstring, std::vector<std::wstring>> contents;
    DWORD createError = 0;
    int failingWrite = -1;     // index of the WriteFile call that fails
    int shortWrite = -1;       // index of the WriteFile call that writes one byte less
    DWORD writeError = ERROR_DISK_FULL;
    DWORD holdError = 0;
    bool holdIsAnotherFile = false;

    std::vector<std::wstring> calls;
    std::vector<DWORD> writeSizes;
    std::size_t bytesWritten = 0;
    long openPaths = 0;  // handles opened for examining or deleting and not yet closed
};

FileScript& Files();
void ResetFiles();
