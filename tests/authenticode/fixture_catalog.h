// Every fixture file, with the signer whose certificate pins it and the
// verdicts expected with the test root trusted and with no root trusted.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/win_api.h"
#include "shared/scratch_folder.h"

namespace velto::test {

enum class Trust { kTestRoot, kNothing };

inline void PrintTo(Trust trust, std::ostream* out) {
    *out << (trust == Trust::kTestRoot ? "test root trusted" : "nothing trusted");
}

struct Verdict {
    LONG status;
    std::wstring message;  // VerifyInstallerSignature's text; empty when it accepts
};

struct FixtureCase {
    const char* file;
    const char* signer;  // the PKI name whose fingerprint is the pin
    Verdict trustedRoot;
    Verdict noTrust;
};

const std::vector<FixtureCase>& FixtureCatalog();

// Names a case by its file in test output.
inline void PrintTo(const FixtureCase& fixture, std::ostream* out) { *out << fixture.file; }

// VerifyInstallerSignature's message for a status it refuses, "0x" and
// eight hexadecimal digits.
std::wstring RejectedMessage(const std::wstring& status);

std::string FixturePath(const std::string& file);
std::wstring WideFixturePath(const std::string& file);
std::string PkiPath(const std::string& file);

// The fingerprint that the test PKI maker (tests/shared/test_pki.py) wrote
// with openssl and sha256sum.
std::string SignerFingerprint(const std::string& signer);

std::wstring Widen(const std::string& ascii);

}  // namespace velto::test
