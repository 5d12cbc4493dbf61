#include "platform/linux/wintrust/certificate_table.h"

#include <array>

#include "platform/linux/support/little_endian.h"
#include "platform/linux/wintrust/der_reader.h"

namespace velto::platform::wintrust {

namespace {

constexpr std::uint64_t kEntryHeaderSize = 8;
constexpr std::uint16_t kRevisionLegacy = 0x0100;  // still accepted for old signatures
constexpr std::uint16_t kRevisionCurrent = 0x0200;
constexpr std::uint16_t kTypePkcsSignedData = 0x0002;
constexpr std::uint64_t kEntryAlignment = 8;

// WIN_CERTIFICATE, little-endian:
//     DWORD dwLength; WORD wRevision; WORD wCertificateType; BYTE bCertificate[];
struct EntryHeader {
    std::uint32_t length = 0;  // header included
    std::uint16_t revision = 0;
    std::uint16_t type = 0;
};

bool ReadEntryHeader(const InputFile& file, std::uint64_t offset, EntryHeader& entry) {
    std::array<std::uint8_t, kEntryHeaderSize> bytes{};
    if (!ReadExactlyInto(file, offset, bytes.size(), bytes.data())) {
        return false;
    }
    entry.length = ReadLittle32(bytes.data());
    entry.revision = ReadLittle16(bytes.data() + 4);
    entry.type = ReadLittle16(bytes.data() + 6);
    return true;
}

std::uint64_t RoundUpToEntryAlignment(std::uint64_t length) {
    return (length + kEntryAlignment - 1) / kEntryAlignment * kEntryAlignment;
}

bool TableFitsImage(const InputFile& file, const PeLayout& layout) {
    const std::uint64_t offset = layout.certificateTableOffset;
    const std::uint64_t size = layout.certificateTableSize;
    // The table must come after the directory entry so that the digest's
    // skipped ranges stay in file order.
    return size >= kEntryHeaderSize && RangeInsideFile(file, offset, size) &&
           offset >= layout.certificateDirectoryOffset + 8;
}

// A signed image is its hashed bytes followed by one 8-byte aligned entry,
// padded to the alignment, and nothing else: every byte after the hashed
// ones then belongs to the signature. A second entry, like bytes after the
// table, would be covered by no digest and checked by no one.
bool ImageEndsWithOneEntry(const InputFile& file, const PeLayout& layout, const EntryHeader& first) {
    return layout.certificateTableOffset % kEntryAlignment == 0 &&
           RoundUpToEntryAlignment(first.length) == layout.certificateTableSize &&
           layout.certificateTableOffset + layout.certificateTableSize == file.size;
}

// The DER ContentInfo at the start of the entry's data; what follows it up
// to the entry's end is padding. Non-zero padding is tolerated, as Windows
// does unless its optional padding check is switched on.
bool CutContentInfo(std::vector<std::uint8_t>& blob) {
    std::uint64_t derSize = 0;
    if (blob.empty() || blob[0] != der_tag::kSequence || !PeekDerElementSize(blob, derSize) ||
        derSize > blob.size()) {
        return false;
    }
    blob.resize(static_cast<std::size_t>(derSize));
    return true;
}

}  // namespace

EmbeddedSignatureResult ReadEmbeddedSignature(const InputFile& file, const PeLayout& layout, TableCheck check,
                                              std::vector<std::uint8_t>& der) {
    der.clear();
    if (layout.certificateTableOffset == 0 || layout.certificateTableSize == 0) {
        return EmbeddedSignatureResult::kAbsent;
    }
    EntryHeader first;
    if (!TableFitsImage(file, layout) || !ReadEntryHeader(file, layout.certificateTableOffset, first)) {
        return EmbeddedSignatureResult::kUnusable;
    }
    const bool knownRevision = first.revision == kRevisionCurrent || first.revision == kRevisionLegacy;
    if (!knownRevision || first.type != kTypePkcsSignedData || first.length <= kEntryHeaderSize ||
        first.length > layout.certificateTableSize || first.length - kEntryHeaderSize > kMaxSignatureBytes) {
        return EmbeddedSignatureResult::kUnusable;
    }
    if (check == TableCheck::kWholeImage && !ImageEndsWithOneEntry(file, layout, first)) {
        return EmbeddedSignatureResult::kUnusable;
    }
    const std::size_t blobSize = first.length - kEntryHeaderSize;
    if (!ReadExactly(file, layout.certificateTableOffset + kEntryHeaderSize, blobSize, der) ||
        !CutContentInfo(der)) {
        der.clear();
        return EmbeddedSignatureResult::kUnusable;
    }
    return EmbeddedSignatureResult::kFound;
}

}  // namespace velto::platform::wintrust
