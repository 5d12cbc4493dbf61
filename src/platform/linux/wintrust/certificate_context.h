// Describing an X.509 certificate the way CryptoAPI's CERT_CONTEXT and
// CERT_INFO do: names and keys as encoded bytes, object identifiers as
// dotted text, the serial number little-endian.
#pragma once

#include <openssl/x509.h>

#include "platform/linux/wintrust/crypt_handles.h"

namespace velto::platform::wintrust {

// The encoding given is kept as the context's pbCertEncoded, so anything
// hashed over it is hashed over the bytes as they came in the signature.
bool DescribeCertificate(X509* certificate, Bytes encoded, CertificateData& data);

// Points the context and its CERT_INFO into data, which must outlive them.
void FillCertificateContext(CertificateData& data, StoreRecord* store, CERT_CONTEXT& context, CERT_INFO& info);

// An AlgorithmIdentifier as CryptoAPI splits it: the dotted identifier and
// the encoded parameters (empty when absent).
bool SplitAlgorithm(const X509_ALGOR* algorithm, std::string& oid, std::vector<std::uint8_t>& parameters);

}  // namespace velto::platform::wintrust
