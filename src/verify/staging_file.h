// The one file in which the downloaded installer is staged, checked and
// started.
#pragma once

#include <string>

#include "base/byte_buffer.h"
#include "platform/win_api.h"
#include "verify/file_identity.h"

// Each followed by the system's text for the error.
inline constexpr wchar_t kFileNotCreatedPrefix[] = L"Could not create the installer file: ";
inline constexpr wchar_t kFileNotWrittenPrefix[] = L"Could not write the installer file: ";
inline constexpr wchar_t kFileNotLockedPrefix[] = L"Could not lock the installer file: ";

// The staged installer's path, Windows' temporary folder + a new staging
// folder + "\Velto_Setup.exe", with the folder made and held in folder
// once the folders that killed runs left behind are gone. Empty, with
// folder INVALID_HANDLE_VALUE, when Windows' folder is unavailable or the
// staging folder cannot be made safe.
std::wstring PrepareStagingPath(HANDLE& folder);

// Writes bytes to path, replacing any earlier file, and tells which file
// was written. False with errorText replaced by one message when the file
// cannot be created or written.
bool WriteStagingFile(const std::wstring& path, const ByteBuffer& bytes, FileIdentity& written,
                      std::wstring& errorText);

// Opens the written file for shared reading and keeps it open in hold, so
// that nobody can write, rename or delete it; false with errorText replaced
// when it cannot be opened or is not the file that was written.
bool HoldStagingFile(const std::wstring& path, const FileIdentity& written, HANDLE& hold, std::wstring& errorText);
