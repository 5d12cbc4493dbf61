#include "platform/linux/support/pe_headers.h"

#include <array>

#include "platform/linux/support/little_endian.h"

namespace velto::platform {
namespace {

constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kNewHeaderPointer = 0x3C;  // e_lfanew
// "PE\0\0", then IMAGE_FILE_HEADER.
constexpr std::size_t kSignatureAndFileHeaderSize = 4 + 20;
constexpr std::size_t kMachineAt = 4;
constexpr std::size_t kNumberOfSectionsAt = 4 + 2;
constexpr std::size_t kSizeOfOptionalHeaderAt = 4 + 16;
constexpr std::size_t kCharacteristicsAt = 4 + 18;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;

bool HasPeSignature(const std::uint8_t* header) {
    return header[0] == 'P' && header[1] == 'E' && header[2] == 0 && header[3] == 0;
}

}  // namespace

PeHeadersResult ReadPeHeaders(const ReadBytesAt& read, PeHeaders& headers) {
    std::array<std::uint8_t, kDosHeaderSize> dos{};
    if (!read(0, 2, dos.data()) || dos[0] != 'M' || dos[1] != 'Z') return PeHeadersResult::kNotImage;
    if (!read(0, dos.size(), dos.data())) return PeHeadersResult::kMalformed;

    const std::uint64_t newHeader = ReadLittle32(dos.data() + kNewHeaderPointer);
    std::array<std::uint8_t, kSignatureAndFileHeaderSize> file{};
    if (!read(newHeader, file.size(), file.data()) || !HasPeSignature(file.data())) {
        return PeHeadersResult::kMalformed;
    }
    headers = PeHeaders{};
    headers.machine = ReadLittle16(file.data() + kMachineAt);
    headers.sectionCount = ReadLittle16(file.data() + kNumberOfSectionsAt);
    headers.characteristics = ReadLittle16(file.data() + kCharacteristicsAt);
    headers.optionalHeaderOffset = newHeader + file.size();
    headers.optionalHeader.resize(ReadLittle16(file.data() + kSizeOfOptionalHeaderAt));
    std::uint16_t magic = 0;
    if (!read(headers.optionalHeaderOffset, headers.optionalHeader.size(), headers.optionalHeader.data()) ||
        !OptionalHeaderField16(headers, 0, magic) || (magic != kPe32Magic && magic != kPe32PlusMagic)) {
        return PeHeadersResult::kMalformed;
    }
    headers.pe32Plus = magic == kPe32PlusMagic;
    return PeHeadersResult::kImage;
}

bool OptionalHeaderField16(const PeHeaders& headers, std::size_t offset, std::uint16_t& value) {
    if (headers.optionalHeader.size() < 2 || offset > headers.optionalHeader.size() - 2) return false;
    value = ReadLittle16(headers.optionalHeader.data() + offset);
    return true;
}

bool OptionalHeaderField32(const PeHeaders& headers, std::size_t offset, std::uint32_t& value) {
    if (headers.optionalHeader.size() < 4 || offset > headers.optionalHeader.size() - 4) return false;
    value = ReadLittle32(headers.optionalHeader.data() + offset);
    return true;
}

}  // namespace velto::platform
