// Windows' redirection guard for this process.
#pragma once

// Asks Windows not to follow, in this process, junctions and links that
// were made by anyone without elevation. Windows versions that lack the
// guard refuse, and the run goes on without it: the staging folder lies
// where no such link can be made anyway.
void TurnOnRedirectionGuard();
