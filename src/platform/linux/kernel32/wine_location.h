// Where Wine is looked for. A fixed system location, never a search of
// PATH: the bootstrapper runs with administrator rights, and a PATH entry
// could name any program.
#pragma once

namespace velto::platform {

const char* WineLauncherPath();

}  // namespace velto::platform
