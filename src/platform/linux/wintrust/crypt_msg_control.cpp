// CryptMsgControl for CMSG_CTRL_VERIFY_SIGNATURE: the signer named by the
// CERT_INFO's issuer and serial number must have signed the content with
// the key in that CERT_INFO. The key is rebuilt from the CERT_INFO fields,
// so any CERT_INFO with the right fields works, not just one from our store.
#include <string>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/wincrypt.h"
#include "platform/linux/wintrust/certificate_match.h"
#include "platform/linux/wintrust/crypt_handles.h"
#include "platform/linux/wintrust/signer_signature.h"

namespace {

using namespace velto::platform::wintrust;
using velto::platform::Fail;

Bytes BlobBytes(const CRYPTOAPI_BLOB& blob) {
    return blob.pbData == nullptr ? Bytes{} : Bytes(blob.pbData, blob.cbData);
}

// SubjectPublicKeyInfo ::= SEQUENCE {
//     algorithm         AlgorithmIdentifier,
//     subjectPublicKey  BIT STRING }
// Encoded again from the CERT_INFO's pieces.
PkeyOwner KeyFromPublicKeyInfo(const CERT_PUBLIC_KEY_INFO& info) {
    if (info.Algorithm.pszObjId == nullptr || info.PublicKey.cUnusedBits > 7) {
        return nullptr;
    }
    ObjectOwner oid(OBJ_txt2obj(info.Algorithm.pszObjId, 1));
    unsigned char* oidDer = nullptr;
    const int oidLength = oid ? i2d_ASN1_OBJECT(oid.get(), &oidDer) : -1;
    if (oidLength <= 0) {
        OPENSSL_free(oidDer);
        return nullptr;
    }
    std::vector<std::uint8_t> algorithm(oidDer, oidDer + oidLength);
    OPENSSL_free(oidDer);
    const Bytes parameters = BlobBytes(info.Algorithm.Parameters);
    algorithm.insert(algorithm.end(), parameters.begin(), parameters.end());
    std::vector<std::uint8_t> bits{static_cast<std::uint8_t>(info.PublicKey.cUnusedBits)};
    const Bytes key = info.PublicKey.pbData == nullptr ? Bytes{} : Bytes(info.PublicKey.pbData, info.PublicKey.cbData);
    bits.insert(bits.end(), key.begin(), key.end());
    std::vector<std::uint8_t> fields;
    AppendDerElement(fields, der_tag::kSequence, algorithm);
    AppendDerElement(fields, der_tag::kBitString, bits);
    std::vector<std::uint8_t> encoded;
    AppendDerElement(encoded, der_tag::kSequence, fields);
    const unsigned char* cursor = encoded.data();
    return PkeyOwner(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(encoded.size())));
}

// IssuerAndSerialNumber ::= SEQUENCE {
//     issuer        Name,
//     serialNumber  CertificateSerialNumber }
// The index of that signer, or -1.
int SignerNamedBy(const SignedMessage& message, const CERT_INFO& info) {
    for (int index = 0; index < SignerCount(message); ++index) {
        const PKCS7_SIGNER_INFO* signer = SignerAt(message, index);
        if (SameBytes(SignerIssuer(signer), BlobBytes(info.Issuer)) &&
            IntegerBlobsEqual(SignerSerialLittleEndian(signer), BlobBytes(info.SerialNumber))) {
            return index;
        }
    }
    return -1;
}

}  // namespace

extern "C" BOOL WINAPI CryptMsgControl(HCRYPTMSG hCryptMsg, DWORD, DWORD dwCtrlType, const void* pvCtrlPara) {
    MessageRecord* message = MessageFromHandle(hCryptMsg);
    if (message == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    const auto* info = static_cast<const CERT_INFO*>(pvCtrlPara);
    if (dwCtrlType != CMSG_CTRL_VERIFY_SIGNATURE || info == nullptr) {
        return Fail(E_INVALIDARG);
    }
    const int signer = SignerNamedBy(message->message, *info);
    if (signer < 0) {
        return Fail(CRYPT_E_SIGNER_NOT_FOUND);
    }
    PkeyOwner key = KeyFromPublicKeyInfo(info->SubjectPublicKeyInfo);
    if (!key) {
        ERR_clear_error();
        return Fail(NTE_BAD_SIGNATURE);  // no usable key: nothing can verify
    }
    const SignerCheck check = VerifySignerSignature(message->message.content, SignerAt(message->message, signer),
                                                    SignerEncodingAt(message->message, signer), key.get());
    ERR_clear_error();
    switch (check) {
    case SignerCheck::kValid:
        return TRUE;
    case SignerCheck::kContentDigestMismatch:
        return Fail(CRYPT_E_HASH_VALUE);
    case SignerCheck::kRefusedDigest:
        return Fail(NTE_BAD_ALGID);
    case SignerCheck::kBadSignature:
        break;
    }
    return Fail(NTE_BAD_SIGNATURE);
}
