// Identifying a certificate the way CryptoAPI does: the issuer name compared
// as encoded bytes, the serial number compared as a number. Serial numbers
// travel as CryptoAPI lays them out, little-endian, least significant byte
// first, with the DER sign byte kept.
#pragma once

#include <cstdint>
#include <vector>

#include <openssl/x509.h>

#include "platform/linux/wintrust/der_reader.h"

namespace velto::platform::wintrust {

std::vector<std::uint8_t> EncodeName(const X509_NAME* name);

// The INTEGER's contents octets in reverse order.
std::vector<std::uint8_t> SerialToLittleEndian(const ASN1_INTEGER* serial);

// Numeric equality of two little-endian integer blobs: redundant leading
// 0x00 (before a byte below 0x80) and 0xFF (before a byte from 0x80) are
// ignored, as CertCompareIntegerBlob ignores them.
bool IntegerBlobsEqual(Bytes left, Bytes right);

bool CertificateHasIssuerAndSerial(X509* certificate, Bytes issuer, Bytes serialLittleEndian);

// The index in certificates of the first one with that issuer and serial
// number, or -1.
int FindCertificateByIssuerAndSerial(STACK_OF(X509)* certificates, Bytes issuer, Bytes serialLittleEndian);

}  // namespace velto::platform::wintrust
