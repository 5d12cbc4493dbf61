// The pin of a release: the SHA-256 fingerprint of the release signing
// certificate, computed by the same code that checks the signer in the
// field.
#pragma once

#include <string>

#include "release/named_file.h"

// The pin of a certificate file (PEM or DER) or of the signer of a signed
// Windows program, as 64 upper-case hexadecimal digits. False with error
// set otherwise; for a program, error is the message the bootstrapper
// would show for it.
bool ReadPin(const NamedFile& file, std::wstring& pin, std::string& error);

// The pin of the signer of a signed Windows program. False with errorText
// set to the bootstrapper's message otherwise.
bool ReadSignerPin(const std::wstring& path, std::wstring& pin, std::wstring& errorText);
