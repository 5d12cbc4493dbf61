// Certificate files as release engineers keep them: PEM or DER.
#pragma once

#include <string>

inline constexpr char kNotACertificate[] = "is neither a certificate (PEM or DER) nor a signed Windows program";

// The encoded (DER) bytes of the one certificate that content holds, as
// the file carries them: a PEM file's single CERTIFICATE block decoded, or
// the whole content when it is DER. False with error set when content
// holds no certificate or more than one.
bool ReadCertificateFile(const std::string& content, std::string& der, std::string& error);
