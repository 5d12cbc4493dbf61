// CMSG_SIGNER_INFO flattened into one caller buffer, as CryptMsgGetParam
// returns it: the record first, then every blob, text and array it points
// to, each pointer aiming into the same buffer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <openssl/pkcs7.h>

#include "platform/linux/wincrypt.h"

namespace velto::platform::wintrust {

struct AttributePieces {
    std::string oid;
    std::vector<std::vector<std::uint8_t>> values;  // each value's DER
};

struct SignerInfoPieces {
    DWORD version = 0;
    std::vector<std::uint8_t> issuer;  // DER of the issuer Name
    std::vector<std::uint8_t> serial;  // little-endian, sign byte kept
    std::string hashOid;
    std::vector<std::uint8_t> hashParameters;
    std::string encryptionOid;
    std::vector<std::uint8_t> encryptionParameters;
    std::vector<std::uint8_t> encryptedHash;  // in the order the message holds it
    std::vector<AttributePieces> authenticated;
    std::vector<AttributePieces> unauthenticated;
};

bool CollectSignerInfo(const PKCS7_SIGNER_INFO* signer, SignerInfoPieces& pieces);

// Lays the pieces out at buffer and returns the bytes used; with a null
// buffer only measures.
std::size_t LayOutSignerInfo(const SignerInfoPieces& pieces, BYTE* buffer);

}  // namespace velto::platform::wintrust
