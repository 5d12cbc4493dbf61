// A PKCS #7 SignedData as Authenticode embeds it. OpenSSL's PKCS7 parser
// supplies the signer records; the original bytes of the signed content and
// of each embedded certificate are sliced from the DER here, because the
// content's digest and the certificates' fingerprints are taken over the
// bytes as they were signed, not over a re-encoding.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/linux/wintrust/der_reader.h"
#include "platform/linux/wintrust/openssl_owners.h"

namespace velto::platform::wintrust {

struct SignedMessage {
    std::vector<std::uint8_t> der;  // owns every byte the spans below point to
    Pkcs7Owner pkcs7;
    Bytes contentType;       // contents octets of the content type's OBJECT IDENTIFIER
    std::uint8_t contentTag = 0;  // the signed content's tag (0 when detached)
    Bytes content;           // contents octets of the signed content (empty when detached)
    std::vector<Bytes> certificateEncodings;
    CertificateStackOwner certificates;  // parsed, in the same order
    std::vector<Bytes> signerEncodings;  // each SignerInfo as stored, in OpenSSL's order
};

// Takes the DER of a ContentInfo. Fails for anything but a well-formed
// SignedData whose embedded certificates all parse.
bool ParseSignedMessage(std::vector<std::uint8_t> der, SignedMessage& message);

int SignerCount(const SignedMessage& message);
PKCS7_SIGNER_INFO* SignerAt(const SignedMessage& message, int index);
Bytes SignerEncodingAt(const SignedMessage& message, int index);

// OBJECT IDENTIFIER contents octets the layer recognises.
inline constexpr std::uint8_t kOidSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
inline constexpr std::uint8_t kOidSpcIndirectData[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
inline constexpr std::uint8_t kOidSpcPeImageData[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F};

bool SameBytes(Bytes left, Bytes right);

}  // namespace velto::platform::wintrust
