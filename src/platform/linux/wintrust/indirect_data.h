// SpcIndirectDataContent, the signed content of an Authenticode signature:
// it names the kind of subject (a PE image here) and carries the image
// digest with its algorithm.
#pragma once

#include <cstdint>
#include <vector>

#include <openssl/evp.h>

#include "platform/linux/wintrust/der_reader.h"

namespace velto::platform::wintrust {

struct IndirectData {
    const EVP_MD* digestAlgorithm = nullptr;
    std::vector<std::uint8_t> digest;
};

enum class IndirectDataResult {
    kPeImage,            // a PE image digest with a usable algorithm
    kMalformed,          // not SpcIndirectDataContent, or not for a PE image
    kUnsupportedDigest,  // an algorithm outside the allow-list (digest_policy.h)
};

// content is the contents octets of the SpcIndirectDataContent SEQUENCE.
IndirectDataResult ReadIndirectData(Bytes contentType, Bytes content, IndirectData& data);

}  // namespace velto::platform::wintrust
