#include "platform/linux/wintrust/pe_layout.h"

#include <array>
#include <vector>

namespace velto::platform::wintrust {

namespace {

constexpr std::uint64_t kNewHeaderPointerOffset = 0x3C;
constexpr std::uint64_t kDosHeaderSize = 0x40;
constexpr std::uint64_t kSignatureAndFileHeaderSize = 4 + 20;
constexpr std::uint64_t kNumberOfSectionsOffset = 4 + 2;
constexpr std::uint64_t kSizeOfOptionalHeaderOffset = 4 + 16;
constexpr std::uint64_t kSizeOfHeadersInOptionalHeader = 60;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kRawSizeInSectionHeader = 16;  // then PointerToRawData
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint64_t kCheckSumInOptionalHeader = 64;
constexpr std::uint32_t kCertificateDirectoryIndex = 4;
constexpr std::uint64_t kDirectoryEntrySize = 8;

struct OptionalHeaderShape {
    std::uint64_t directoryCountOffset;
    std::uint64_t directoriesOffset;
};

constexpr OptionalHeaderShape kPe32Shape{92, 96};
constexpr OptionalHeaderShape kPe32PlusShape{108, 112};

std::uint16_t Little16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t Little32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

bool ReadLittle32(const InputFile& file, std::uint64_t offset, std::uint32_t& value) {
    std::array<std::uint8_t, 4> bytes{};
    if (!ReadExactlyInto(file, offset, bytes.size(), bytes.data())) {
        return false;
    }
    value = Little32(bytes.data());
    return true;
}

bool ReadLittle16(const InputFile& file, std::uint64_t offset, std::uint16_t& value) {
    std::array<std::uint8_t, 2> bytes{};
    if (!ReadExactlyInto(file, offset, bytes.size(), bytes.data())) {
        return false;
    }
    value = Little16(bytes.data());
    return true;
}

// Reads the optional header's magic and certificate-table entry; the entry
// must lie inside both the declared optional header and the file.
bool ReadOptionalHeader(const InputFile& file, std::uint64_t optionalHeader, std::uint16_t declaredSize,
                        PeLayout& layout) {
    std::uint16_t magic = 0;
    if (!ReadLittle16(file, optionalHeader, magic)) {
        return false;
    }
    if (magic != kPe32Magic && magic != kPe32PlusMagic) {
        return false;
    }
    layout.pe32Plus = magic == kPe32PlusMagic;
    const OptionalHeaderShape shape = layout.pe32Plus ? kPe32PlusShape : kPe32Shape;
    const std::uint64_t entryEnd =
        shape.directoriesOffset + (kCertificateDirectoryIndex + 1) * kDirectoryEntrySize;
    if (declaredSize < entryEnd) {
        return false;
    }
    std::uint32_t directoryCount = 0;
    if (!ReadLittle32(file, optionalHeader + shape.directoryCountOffset, directoryCount) ||
        directoryCount <= kCertificateDirectoryIndex) {
        return false;
    }
    layout.checkSumOffset = optionalHeader + kCheckSumInOptionalHeader;
    layout.certificateDirectoryOffset =
        optionalHeader + shape.directoriesOffset + kCertificateDirectoryIndex * kDirectoryEntrySize;
    std::uint32_t tableOffset = 0;
    std::uint32_t tableSize = 0;
    if (!ReadLittle32(file, layout.certificateDirectoryOffset, tableOffset) ||
        !ReadLittle32(file, layout.certificateDirectoryOffset + 4, tableSize)) {
        return false;
    }
    layout.certificateTableOffset = tableOffset;
    layout.certificateTableSize = tableSize;
    return true;
}

// The end of the headers and of the furthest section's raw data.
bool ReadImageDataEnd(const InputFile& file, std::uint64_t optionalHeader, std::uint16_t optionalSize,
                      std::uint16_t sectionCount, PeLayout& layout) {
    std::uint32_t headersSize = 0;
    std::vector<std::uint8_t> sections;
    if (!ReadLittle32(file, optionalHeader + kSizeOfHeadersInOptionalHeader, headersSize) ||
        !ReadExactly(file, optionalHeader + optionalSize, sectionCount * kSectionHeaderSize, sections)) {
        return false;
    }
    layout.imageDataEnd = headersSize;
    for (std::size_t at = 0; at < sections.size(); at += kSectionHeaderSize) {
        const std::uint64_t rawSize = Little32(sections.data() + at + kRawSizeInSectionHeader);
        const std::uint64_t rawPointer = Little32(sections.data() + at + kRawSizeInSectionHeader + 4);
        if (rawSize != 0 && rawPointer + rawSize > layout.imageDataEnd) {
            layout.imageDataEnd = rawPointer + rawSize;
        }
    }
    return true;
}

}  // namespace

PeReadResult ReadPeLayout(const InputFile& file, PeLayout& layout) {
    std::array<std::uint8_t, 2> mz{};
    if (!ReadExactlyInto(file, 0, mz.size(), mz.data()) || mz[0] != 'M' || mz[1] != 'Z') {
        return PeReadResult::kNotImage;
    }
    std::uint32_t newHeader = 0;
    if (file.size < kDosHeaderSize || !ReadLittle32(file, kNewHeaderPointerOffset, newHeader)) {
        return PeReadResult::kMalformed;
    }
    std::array<std::uint8_t, kSignatureAndFileHeaderSize> header{};
    if (!ReadExactlyInto(file, newHeader, header.size(), header.data()) || header[0] != 'P' ||
        header[1] != 'E' || header[2] != 0 || header[3] != 0) {
        return PeReadResult::kMalformed;
    }
    const std::uint16_t optionalSize = Little16(header.data() + kSizeOfOptionalHeaderOffset);
    const std::uint16_t sectionCount = Little16(header.data() + kNumberOfSectionsOffset);
    const std::uint64_t optionalHeader = newHeader + kSignatureAndFileHeaderSize;
    layout = PeLayout{};
    if (!ReadOptionalHeader(file, optionalHeader, optionalSize, layout) ||
        !ReadImageDataEnd(file, optionalHeader, optionalSize, sectionCount, layout)) {
        return PeReadResult::kMalformed;
    }
    return PeReadResult::kImage;
}

}  // namespace velto::platform::wintrust
