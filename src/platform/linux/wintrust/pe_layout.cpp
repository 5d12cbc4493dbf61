#include "platform/linux/wintrust/pe_layout.h"

#include <vector>

#include "platform/linux/support/little_endian.h"

namespace velto::platform::wintrust {

namespace {

constexpr std::size_t kSizeOfHeadersInOptionalHeader = 60;
constexpr std::size_t kCheckSumInOptionalHeader = 64;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::size_t kRawSizeInSectionHeader = 16;  // then PointerToRawData
constexpr std::size_t kCertificateDirectoryIndex = 4;
constexpr std::size_t kDirectoryEntrySize = 8;

struct OptionalHeaderShape {
    std::size_t directoryCountOffset;
    std::size_t directoriesOffset;
};

constexpr OptionalHeaderShape kPe32Shape{92, 96};
constexpr OptionalHeaderShape kPe32PlusShape{108, 112};

// The certificate-table entry of the data directories; it must lie inside
// the declared optional header, which the header reader found inside the
// file.
bool ReadCertificateEntry(const PeHeaders& headers, PeLayout& layout) {
    const OptionalHeaderShape shape = headers.pe32Plus ? kPe32PlusShape : kPe32Shape;
    const std::size_t entry = shape.directoriesOffset + kCertificateDirectoryIndex * kDirectoryEntrySize;
    std::uint32_t directoryCount = 0;
    std::uint32_t tableOffset = 0;
    std::uint32_t tableSize = 0;
    if (!OptionalHeaderField32(headers, shape.directoryCountOffset, directoryCount) ||
        directoryCount <= kCertificateDirectoryIndex || !OptionalHeaderField32(headers, entry, tableOffset) ||
        !OptionalHeaderField32(headers, entry + 4, tableSize)) {
        return false;
    }
    layout.checkSumOffset = headers.optionalHeaderOffset + kCheckSumInOptionalHeader;
    layout.certificateDirectoryOffset = headers.optionalHeaderOffset + entry;
    layout.certificateTableOffset = tableOffset;
    layout.certificateTableSize = tableSize;
    return true;
}

// The end of the headers and of the furthest section's raw data.
bool ReadImageDataEnd(const InputFile& file, const PeHeaders& headers, PeLayout& layout) {
    std::uint32_t headersSize = 0;
    std::vector<std::uint8_t> sections;
    if (!OptionalHeaderField32(headers, kSizeOfHeadersInOptionalHeader, headersSize) ||
        !ReadExactly(file, headers.optionalHeaderOffset + headers.optionalHeader.size(),
                     headers.sectionCount * kSectionHeaderSize, sections)) {
        return false;
    }
    layout.imageDataEnd = headersSize;
    for (std::size_t at = 0; at < sections.size(); at += kSectionHeaderSize) {
        const std::uint64_t rawSize = ReadLittle32(sections.data() + at + kRawSizeInSectionHeader);
        const std::uint64_t rawPointer = ReadLittle32(sections.data() + at + kRawSizeInSectionHeader + 4);
        if (rawSize != 0 && rawPointer + rawSize > layout.imageDataEnd) {
            layout.imageDataEnd = rawPointer + rawSize;
        }
    }
    return true;
}

}  // namespace

PeReadResult ReadPeLayout(const InputFile& file, PeLayout& layout) {
    const ReadBytesAt readFile = [&file](std::uint64_t offset, std::size_t length, std::uint8_t* out) {
        return ReadExactlyInto(file, offset, length, out);
    };
    PeHeaders headers;
    const PeReadResult headersRead = ReadPeHeaders(readFile, headers);
    if (headersRead != PeReadResult::kImage) return headersRead;
    layout = PeLayout{};
    if (!ReadCertificateEntry(headers, layout) || !ReadImageDataEnd(file, headers, layout)) {
        return PeReadResult::kMalformed;
    }
    return PeReadResult::kImage;
}

}  // namespace velto::platform::wintrust
