// The one fixed file in which the downloaded installer is staged, checked
// and started.
#pragma once

#include <string>

#include "net/download_https.h"

// The staged installer's path, temporary folder + "VeltoBootstrap" +
// "\Velto_Setup.exe", creating the folder on the way; empty when the
// temporary folder is unavailable.
std::wstring PrepareStagingPath();

// Writes bytes to path, replacing any earlier file. False with errorText
// replaced by one message when the file cannot be created or written.
bool WriteStagingFile(const std::wstring& path, const ByteBuffer& bytes, std::wstring& errorText);
