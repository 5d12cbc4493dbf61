// Staging folders that a killed run left behind (a power loss, a killed
// process), removed by the next run.
#pragma once

#include <string>

#include "platform/win_api.h"

// Removes, with what they hold, the folders in tempFolder that are
// provably staging folders of this program: a staging folder's name, a
// real folder rather than a link, owned by Administrators with exactly
// the descriptor protectedDescriptor and its owner. A folder that another
// run still holds is skipped, and anything else is left alone.
void RemoveStagingLeftovers(const std::wstring& tempFolder, PSECURITY_DESCRIPTOR protectedDescriptor);
