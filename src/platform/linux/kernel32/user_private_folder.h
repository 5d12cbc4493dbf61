// The folder of the running user that nobody else may enter or write to:
// $XDG_RUNTIME_DIR when it is private to the user, otherwise a per-user
// folder under $TMPDIR or /tmp, made with mode 0700. Both the temporary
// folder and the stand-in for the Windows folder live there.
#pragma once

#include <string>

namespace velto::platform {

// A real folder (not a link to one), owned by the running user, that
// nobody else may enter or write to.
bool IsPrivateFolder(const std::string& path);

// Finds (making it when needed) the private folder; false with the last
// error set when there is none that is private.
bool FindPrivateTempFolder(std::string& folder);

}  // namespace velto::platform
