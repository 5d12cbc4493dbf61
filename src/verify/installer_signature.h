// The Authenticode verdict on the staged installer, with its signer pinned
// to one certificate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/scoped_owner.h"
#include "platform/win_api.h"

// The messages of a refused signature.
inline constexpr wchar_t kNoSignatureMessage[] = L"The downloaded Velto setup has no readable Authenticode signature.";
inline constexpr wchar_t kNoSignerInfoMessage[] = L"Could not read the Velto setup signer information.";
inline constexpr wchar_t kNoSignerCertificateMessage[] =
    L"Could not locate the embedded Velto setup signing certificate.";
inline constexpr wchar_t kSignatureInvalidMessage[] = L"The Velto setup signature is cryptographically invalid.";
inline constexpr wchar_t kFingerprintFailedMessage[] =
    L"Could not calculate the Velto setup signing certificate SHA-256 fingerprint.";
inline constexpr wchar_t kNotPinnedMessage[] =
    L"Security check failed: the Velto setup was not signed by the certificate pinned into this bootstrapper.";
inline constexpr wchar_t kModifiedMessage[] = L"Security check failed: the signed Velto setup was modified after signing.";
inline constexpr wchar_t kUnsignedMessage[] = L"Security check failed: the Velto setup is unsigned.";
// Followed by the status, "0x" and eight hexadecimal digits, and ").".
inline constexpr wchar_t kSignatureRejectedPrefix[] = L"Windows rejected the Velto setup signature (";

// True when the first signer's certificate has the SHA-256 fingerprint
// pinnedThumbprint (any separators and letter case) and the platform's
// Authenticode policy accepts the file, an untrusted root or an incomplete
// chain being tolerated and nothing else: when the policy reports one of
// those two, the signer's chain must show no other problem than them and
// the unchecked revocation. False with errorText replaced otherwise. heldFile,
// when given, is the file at path held open, which the policy then reads.
bool VerifyInstallerSignature(const std::wstring& path, const std::wstring& pinnedThumbprint,
                              std::wstring& errorText, HANDLE heldFile = nullptr);

// What reading a file's embedded signature opens. The members are released
// in reverse order of declaration: the certificate, the message, the store,
// then the signer information, which the certificate search points into.
struct EmbeddedSignature {
    std::vector<std::uint8_t> signerInfo;
    ScopedCertStore store;
    ScopedCryptMessage message;
    ScopedCertContext certificate;
};

// The signer's fingerprint exactly as the pin is checked against it: reads
// the first signer of the file's embedded signature, finds its certificate
// in the signature's own store, proves that this certificate made the
// signature and sets fingerprint to the SHA-256 of its encoded bytes as
// normalised hexadecimal text. False with errorText replaced otherwise.
// What it opened stays in signature until signature ends.
bool FingerprintEmbeddedSigner(const std::wstring& path, EmbeddedSignature& signature, std::wstring& fingerprint,
                               std::wstring& errorText);

// Sets fingerprint to the SHA-256 of a certificate's encoded bytes as
// normalised hexadecimal text; false when the platform cannot compute it.
bool FingerprintCertificate(const std::uint8_t* encoded, std::size_t size, std::wstring& fingerprint);
