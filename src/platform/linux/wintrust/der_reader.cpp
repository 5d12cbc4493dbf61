#include "platform/linux/wintrust/der_reader.h"

namespace velto::platform::wintrust {

namespace {

constexpr std::uint8_t kHighTagNumber = 0x1F;
constexpr std::uint8_t kLongLengthBit = 0x80;
constexpr std::size_t kMaxLengthBytes = 4;

// DER (X.690): identifier octet, then the length, short form (one octet
// below 0x80) or long form (0x80 | n, then n big-endian octets), then the
// contents. Parses tag and length; header receives the header's size.
bool ReadHeader(Bytes input, std::uint8_t& tag, std::uint64_t& contentLength, std::size_t& header) {
    if (input.size() < 2) {
        return false;
    }
    tag = input[0];
    if ((tag & kHighTagNumber) == kHighTagNumber) {
        return false;  // multi-byte tags do not occur in the structures read here
    }
    const std::uint8_t first = input[1];
    if ((first & kLongLengthBit) == 0) {
        contentLength = first;
        header = 2;
        return true;
    }
    const std::size_t count = first & 0x7F;
    // An indefinite length (BER) is refused, in the outer PKCS #7 as
    // anywhere: whether Windows reads a signature encoded so is not known,
    // and refusing cannot let through what Windows refuses.
    if (count == 0 || count > kMaxLengthBytes || input.size() < 2 + count) {
        return false;  // indefinite length, or a length no signature needs
    }
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < count; ++i) {
        length = (length << 8) | input[2 + i];
    }
    contentLength = length;
    header = 2 + count;
    return true;
}

}  // namespace

bool PeekDerElementSize(Bytes input, std::uint64_t& size) {
    std::uint8_t tag = 0;
    std::uint64_t contentLength = 0;
    std::size_t header = 0;
    if (!ReadHeader(input, tag, contentLength, header)) {
        return false;
    }
    size = header + contentLength;
    return true;
}

bool ReadDerElement(Bytes& input, DerElement& element) {
    std::uint8_t tag = 0;
    std::uint64_t contentLength = 0;
    std::size_t header = 0;
    if (!ReadHeader(input, tag, contentLength, header) || contentLength > input.size() - header) {
        return false;
    }
    const std::size_t total = header + static_cast<std::size_t>(contentLength);
    element.tag = tag;
    element.whole = input.first(total);
    element.content = input.subspan(header, static_cast<std::size_t>(contentLength));
    input = input.subspan(total);
    return true;
}

bool ReadDerElementWithTag(Bytes& input, std::uint8_t tag, DerElement& element) {
    if (input.empty() || input[0] != tag) {
        return false;
    }
    return ReadDerElement(input, element);
}

void AppendDerElement(std::vector<std::uint8_t>& out, std::uint8_t tag, Bytes content) {
    out.push_back(tag);
    const std::size_t length = content.size();
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
    } else {
        std::uint8_t digits[sizeof(std::size_t)] = {};
        std::size_t count = 0;
        for (std::size_t rest = length; rest != 0; rest >>= 8) {
            digits[count++] = static_cast<std::uint8_t>(rest & 0xFF);
        }
        out.push_back(static_cast<std::uint8_t>(kLongLengthBit | count));
        for (std::size_t i = count; i > 0; --i) {
            out.push_back(digits[i - 1]);
        }
    }
    out.insert(out.end(), content.begin(), content.end());
}

}  // namespace velto::platform::wintrust
