// A strict reader of DER elements over a byte range, for the parts of an
// Authenticode signature whose original bytes matter (the signed content,
// the embedded certificates). Every length is checked against what is left
// before a byte of the element is touched.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace velto::platform::wintrust {

using Bytes = std::span<const std::uint8_t>;

namespace der_tag {
inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kBitString = 0x03;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kObjectIdentifier = 0x06;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;
inline constexpr std::uint8_t kContextZero = 0xA0;
inline constexpr std::uint8_t kContextOne = 0xA1;
}  // namespace der_tag

struct DerElement {
    std::uint8_t tag = 0;
    Bytes whole;    // tag, length and contents
    Bytes content;  // the contents octets only
};

// Reads the element at the front of input and advances input past it.
// Only one-byte tags and definite lengths of up to four length bytes are
// accepted; anything else fails without advancing.
bool ReadDerElement(Bytes& input, DerElement& element);

// Reads the element at the front of input only if it has the given tag.
bool ReadDerElementWithTag(Bytes& input, std::uint8_t tag, DerElement& element);

// The length of the element that starts at the front of input, header
// included, read from its header alone (the contents may be cut off).
bool PeekDerElementSize(Bytes input, std::uint64_t& size);

// Appends one element with the given tag and contents, in DER.
void AppendDerElement(std::vector<std::uint8_t>& out, std::uint8_t tag, Bytes content);

}  // namespace velto::platform::wintrust
