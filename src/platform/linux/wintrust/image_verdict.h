// The Authenticode verdict on one PE file, as WinVerifyTrust with the
// generic verify action gives it. The checks run in the order Windows'
// provider steps run them: the subject and its signature are read, the
// image digest is compared, the signer's signature is verified, and only
// then is the certificate chain judged.
#pragma once

#include <memory>
#include <optional>

#include "platform/linux/win_types.h"
#include "platform/linux/wintrust/input_file.h"
#include "platform/linux/wintrust/signed_message.h"

namespace velto::platform::wintrust {

// What a verify call keeps until its closing call: the parsed signature,
// as Windows keeps its provider data.
struct ImageVerdict {
    LONG status = 0;
    std::unique_ptr<SignedMessage> message;
    int signerCertificate = -1;        // index among the message's certificates, once found
    std::optional<DWORD> chainErrors;  // CERT_TRUST_* bits of the signer's chain, once judged
};

// Statuses: 0; TRUST_E_SUBJECT_FORM_UNKNOWN for a file that is no PE image;
// TRUST_E_NOSIGNATURE when no sound embedded Authenticode signature with
// exactly one signer is there, the signed content is not a SEQUENCE, or
// the signer does not declare its content as SpcIndirectDataContent in its
// authenticated attributes;
// NTE_BAD_ALGID for a digest or signature algorithm that is refused, or an
// image digest made with another algorithm than the signer's;
// TRUST_E_BAD_DIGEST when the file or the signed content was altered, or
// the table overlaps the headers or sections;
// TRUST_E_NO_SIGNER_CERT when the signer's certificate is not embedded;
// TRUST_E_CERT_SIGNATURE when the signature value does not verify;
// TRUST_E_TIME_STAMP when the signer carries a timestamp that does not
// verify; otherwise the chain's status (chain_policy.h).
ImageVerdict VerifyImageFile(const InputFile& file);

}  // namespace velto::platform::wintrust
