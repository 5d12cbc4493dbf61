#include "release/signing_fields.h"

namespace {

constexpr std::uint64_t kDosHeaderSize = 0x40;
constexpr std::uint64_t kNewHeaderPointer = 0x3C;  // e_lfanew
constexpr std::uint64_t kSignatureAndFileHeaderSize = 4 + 20;  // "PE\0\0", then IMAGE_FILE_HEADER
constexpr std::uint64_t kNumberOfSectionsAt = 4 + 2;
constexpr std::uint64_t kSizeOfOptionalHeaderAt = 4 + 16;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kCheckSumInOptionalHeader = 64;
constexpr std::uint64_t kCertificateDirectoryIndex = 4;
constexpr std::uint64_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint32_t kPe32Magic = 0x10B;
constexpr std::uint32_t kPe32PlusMagic = 0x20B;

// The number of data directories, then the directories, at these offsets
// of the optional header.
struct OptionalHeaderShape {
    std::uint64_t directoryCountOffset;
    std::uint64_t directoriesOffset;
};

constexpr OptionalHeaderShape kPe32Shape{92, 96};
constexpr OptionalHeaderShape kPe32PlusShape{108, 112};

// The little-endian field of size bytes at offset; false when the image
// ends before it does.
bool ReadField(const std::string& image, std::uint64_t offset, unsigned size, std::uint32_t& value) {
    if (offset > image.size() || image.size() - offset < size) return false;
    value = 0;
    for (unsigned index = size; index-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(image[static_cast<std::size_t>(offset) + index]);
    }
    return true;
}

struct OptionalHeader {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;  // as the file header declares it
    bool pe32Plus = false;
};

// The optional header, once the DOS header, the PE signature, the file
// header and the section table all lie within image.
bool FindOptionalHeader(const std::string& image, OptionalHeader& header) {
    std::uint32_t newHeader = 0;
    std::uint32_t signature = 0;
    std::uint32_t sectionCount = 0;
    std::uint32_t magic = 0;
    if (image.size() < kDosHeaderSize || image.compare(0, 2, "MZ") != 0 ||
        !ReadField(image, kNewHeaderPointer, 4, newHeader) || !ReadField(image, newHeader, 4, signature) ||
        signature != kPeSignature || !ReadField(image, newHeader + kNumberOfSectionsAt, 2, sectionCount) ||
        !ReadField(image, newHeader + kSizeOfOptionalHeaderAt, 2, header.size)) {
        return false;
    }
    header.offset = std::uint64_t{newHeader} + kSignatureAndFileHeaderSize;
    if (!ReadField(image, header.offset, 2, magic) || (magic != kPe32Magic && magic != kPe32PlusMagic) ||
        header.offset + header.size + sectionCount * kSectionHeaderSize > image.size()) {
        return false;
    }
    header.pe32Plus = magic == kPe32PlusMagic;
    return true;
}

}  // namespace

bool ReadSigningFields(const std::string& image, SigningFields& fields) {
    OptionalHeader header;
    if (!FindOptionalHeader(image, header)) return false;
    const OptionalHeaderShape shape = header.pe32Plus ? kPe32PlusShape : kPe32Shape;
    const std::uint64_t entry = shape.directoriesOffset + kCertificateDirectoryIndex * kDirectoryEntrySize;
    std::uint32_t directoryCount = 0;
    std::uint32_t tableOffset = 0;
    std::uint32_t tableSize = 0;
    // The entry must lie within the optional header as it is declared.
    if (entry + kDirectoryEntrySize > header.size ||
        !ReadField(image, header.offset + shape.directoryCountOffset, 4, directoryCount) ||
        directoryCount <= kCertificateDirectoryIndex || !ReadField(image, header.offset + entry, 4, tableOffset) ||
        !ReadField(image, header.offset + entry + 4, 4, tableSize)) {
        return false;
    }
    fields.checkSumOffset = header.offset + kCheckSumInOptionalHeader;
    fields.certificateDirectoryOffset = header.offset + entry;
    fields.tableOffset = tableOffset;
    fields.tableSize = tableSize;
    return true;
}
