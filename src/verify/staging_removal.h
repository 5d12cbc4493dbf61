// Removing a staging folder and what is in it: the staged installer, what
// the installer wrote into its working folder, or what a failed write left.
#pragma once

#include <string>

#include "platform/win_api.h"

// Deletes the file or folder open in handle, which must have been opened
// with DELETE access; a folder only when it is empty. False when Windows
// refuses.
bool DeleteThroughHandle(HANDLE handle);

// Whether the open handle is a folder itself, not a link or junction that
// leads to one, nor a file.
bool IsRealFolder(HANDLE handle);

// Deletes the file, link or folder at path, a folder with what it holds,
// folders inside included. Bounded: at most a fixed number of entries, at
// most a fixed depth; what is past the bounds, or what cannot be deleted,
// stays, and so does the folder that holds it.
void RemovePath(const std::wstring& path);
