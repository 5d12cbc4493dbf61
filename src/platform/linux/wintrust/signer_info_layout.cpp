#include "platform/linux/wintrust/signer_info_layout.h"

#include <cstring>

#include <openssl/crypto.h>
#include <openssl/objects.h>

#include "platform/linux/wintrust/certificate_context.h"
#include "platform/linux/wintrust/signer_signature.h"

namespace velto::platform::wintrust {

namespace {

constexpr std::size_t kPieceAlignment = alignof(std::max_align_t);

// Hands out consecutive aligned pieces of the buffer; with no buffer it
// only counts, so measuring and writing share one path.
struct Arena {
    BYTE* base = nullptr;
    std::size_t used = 0;
};

BYTE* Take(Arena& arena, std::size_t size) {
    arena.used = (arena.used + kPieceAlignment - 1) / kPieceAlignment * kPieceAlignment;
    BYTE* at = arena.base == nullptr ? nullptr : arena.base + arena.used;
    arena.used += size;
    return at;
}

CRYPTOAPI_BLOB CopyBytes(Arena& arena, const std::vector<std::uint8_t>& bytes) {
    BYTE* at = Take(arena, bytes.size());
    if (at != nullptr && !bytes.empty()) {
        std::memcpy(at, bytes.data(), bytes.size());
    }
    return {static_cast<DWORD>(bytes.size()), bytes.empty() ? nullptr : at};
}

LPSTR CopyText(Arena& arena, const std::string& text) {
    BYTE* at = Take(arena, text.size() + 1);
    if (at != nullptr) {
        std::memcpy(at, text.c_str(), text.size() + 1);
    }
    return reinterpret_cast<LPSTR>(at);
}

CRYPT_ATTRIBUTES CopyAttributes(Arena& arena, const std::vector<AttributePieces>& attributes) {
    if (attributes.empty()) {
        return {0, nullptr};
    }
    std::vector<CRYPT_ATTRIBUTE> laid(attributes.size());
    BYTE* array = Take(arena, sizeof(CRYPT_ATTRIBUTE) * laid.size());
    for (std::size_t index = 0; index < attributes.size(); ++index) {
        const AttributePieces& attribute = attributes[index];
        std::vector<CRYPT_ATTR_BLOB> values(attribute.values.size());
        BYTE* valueArray = Take(arena, sizeof(CRYPT_ATTR_BLOB) * values.size());
        for (std::size_t value = 0; value < values.size(); ++value) {
            values[value] = CopyBytes(arena, attribute.values[value]);
        }
        if (valueArray != nullptr && !values.empty()) {
            std::memcpy(valueArray, values.data(), sizeof(CRYPT_ATTR_BLOB) * values.size());
        }
        laid[index] = {CopyText(arena, attribute.oid), static_cast<DWORD>(values.size()),
                       reinterpret_cast<CRYPT_ATTR_BLOB*>(valueArray)};
    }
    if (array != nullptr) {
        std::memcpy(array, laid.data(), sizeof(CRYPT_ATTRIBUTE) * laid.size());
    }
    return {static_cast<DWORD>(laid.size()), reinterpret_cast<CRYPT_ATTRIBUTE*>(array)};
}

// Attribute ::= SEQUENCE {
//     type    OBJECT IDENTIFIER,
//     values  SET OF AttributeValue }
// Each value is kept as its DER, as CRYPT_ATTR_BLOB holds it.
bool CollectAttributes(const STACK_OF(X509_ATTRIBUTE)* attributes, std::vector<AttributePieces>& out) {
    const int count = sk_X509_ATTRIBUTE_num(attributes);
    for (int index = 0; index < count; ++index) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(attributes, index);
        AttributePieces pieces;
        char oid[128];
        const int length = OBJ_obj2txt(oid, sizeof(oid), X509_ATTRIBUTE_get0_object(attribute), 1);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(oid)) {
            return false;
        }
        pieces.oid.assign(oid, static_cast<std::size_t>(length));
        for (int value = 0; value < X509_ATTRIBUTE_count(attribute); ++value) {
            unsigned char* encoded = nullptr;
            const int size = i2d_ASN1_TYPE(X509_ATTRIBUTE_get0_type(attribute, value), &encoded);
            if (size > 0) {
                pieces.values.emplace_back(encoded, encoded + size);
            }
            OPENSSL_free(encoded);
            if (size <= 0) {
                return false;
            }
        }
        out.push_back(std::move(pieces));
    }
    return true;
}

}  // namespace

// SignerInfo ::= SEQUENCE {
//     version                    Version,
//     issuerAndSerialNumber      IssuerAndSerialNumber,
//     digestAlgorithm            DigestAlgorithmIdentifier,
//     authenticatedAttributes    [0] IMPLICIT Attributes OPTIONAL,
//     digestEncryptionAlgorithm  DigestEncryptionAlgorithmIdentifier,
//     encryptedDigest            EncryptedDigest,
//     unauthenticatedAttributes  [1] IMPLICIT Attributes OPTIONAL }
bool CollectSignerInfo(const PKCS7_SIGNER_INFO* signer, SignerInfoPieces& pieces) {
    if (signer == nullptr || signer->enc_digest == nullptr) {
        return false;
    }
    pieces.version = static_cast<DWORD>(ASN1_INTEGER_get(signer->version));
    pieces.issuer = SignerIssuer(signer);
    pieces.serial = SignerSerialLittleEndian(signer);
    const unsigned char* hash = ASN1_STRING_get0_data(signer->enc_digest);
    pieces.encryptedHash.assign(hash, hash + ASN1_STRING_length(signer->enc_digest));
    return !pieces.issuer.empty() && !pieces.serial.empty() &&
           SplitAlgorithm(signer->digest_alg, pieces.hashOid, pieces.hashParameters) &&
           SplitAlgorithm(signer->digest_enc_alg, pieces.encryptionOid, pieces.encryptionParameters) &&
           CollectAttributes(signer->auth_attr, pieces.authenticated) &&
           CollectAttributes(signer->unauth_attr, pieces.unauthenticated);
}

std::size_t LayOutSignerInfo(const SignerInfoPieces& pieces, BYTE* buffer) {
    Arena arena{buffer, 0};
    BYTE* record = Take(arena, sizeof(CMSG_SIGNER_INFO));
    CMSG_SIGNER_INFO info{};
    info.dwVersion = pieces.version;
    info.Issuer = CopyBytes(arena, pieces.issuer);
    info.SerialNumber = CopyBytes(arena, pieces.serial);
    info.HashAlgorithm = {CopyText(arena, pieces.hashOid), CopyBytes(arena, pieces.hashParameters)};
    info.HashEncryptionAlgorithm = {CopyText(arena, pieces.encryptionOid),
                                    CopyBytes(arena, pieces.encryptionParameters)};
    info.EncryptedHash = CopyBytes(arena, pieces.encryptedHash);
    info.AuthAttrs = CopyAttributes(arena, pieces.authenticated);
    info.UnauthAttrs = CopyAttributes(arena, pieces.unauthenticated);
    if (record != nullptr) {
        std::memcpy(record, &info, sizeof(info));
    }
    return arena.used;
}

}  // namespace velto::platform::wintrust
