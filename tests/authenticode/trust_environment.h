// Which roots the layer trusts, set the way OpenSSL reads it: through
// SSL_CERT_FILE and SSL_CERT_DIR, so no test touches the system's store.
#pragma once

#include <string>

#include "fixture_catalog.h"

namespace velto::test {

void UseTrust(Trust trust);

// WinVerifyTrust's verify call on a file (held open by heldFile, when
// given) and its closing call; returns the verify call's status. Fails the
// test when the closing call does not release the state the verify call kept.
LONG VerifyAndClose(const std::wstring& path, HANDLE heldFile = nullptr);

const char* TrustName(Trust trust);

}  // namespace velto::test
