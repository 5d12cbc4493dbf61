// The staging folder: new on every run, under a name nobody can guess,
// writable only by SYSTEM and Administrators, and held open so that it
// cannot be renamed, removed or replaced while the installer in it is
// checked and started.
#pragma once

#include <string>

#include "platform/win_api.h"

// The folder's descriptor: owned by Administrators, protected from
// inheritance, changed only by SYSTEM and Administrators. The owner is not
// the user, because an owner may always rewrite a descriptor and the
// user's other processes run as the same user; OWNER RIGHTS reduces
// whoever owns a file made in the folder to reading it. No process without
// elevation can make a folder with this owner and this descriptor.
extern const wchar_t kStagingFolderSecurity[];

// Whether Windows reports the held folder at path, which is where it was
// made. A drive letter of the user's own session, or a link on the way,
// could otherwise have put it somewhere else; and a name under path leads
// into the held folder only while this holds.
bool IsFolderAt(HANDLE folder, const std::wstring& path);

// Makes a new staging folder in tempFolder, with security as its
// descriptor, and returns it held open, its path in folderPath;
// INVALID_HANDLE_VALUE when none can be made safely. The caller closes the
// handle.
HANDLE CreateStagingFolder(const std::wstring& tempFolder, PSECURITY_DESCRIPTOR security, std::wstring& folderPath);
