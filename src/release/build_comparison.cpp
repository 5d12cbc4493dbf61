#include "release/build_comparison.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/bootstrap_sequence.h"
#include "release/signing_fields.h"

namespace {

// Signing tools pad the image with zeros to a multiple of this before
// appending the certificate table.
constexpr std::size_t kTableAlignment = 8;
constexpr std::size_t kCheckSumSize = 4;
constexpr std::size_t kDirectoryEntrySize = 8;

struct UnsignedImage {
    std::string bytes;
    bool wasSigned = false;
};

void ZeroField(std::string& bytes, std::uint64_t offset, std::size_t size) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), size, '\0');
}

bool ReadUnsignedImage(const NamedFile& named, UnsignedImage& image, std::string& error) {
    SigningFields fields;
    if (named.size > kInstallerSizeLimit) {
        error = named.argument + " is " + std::to_string(named.size) + " bytes; same-build compares at most " +
                std::to_string(kInstallerSizeLimit);
        return false;
    }
    if (!ReadNamedFile(named, kInstallerSizeLimit, image.bytes)) {
        error = named.argument + ": could not be read";
        return false;
    }
    if (!ReadSigningFields(image.bytes, fields)) {
        error = named.argument + ": not a Windows program (PE image)";
        return false;
    }
    std::uint64_t end = image.bytes.size();
    image.wasSigned = fields.tableSize != 0;
    if (image.wasSigned) {
        if (fields.tableOffset > end || end - fields.tableOffset != fields.tableSize) {
            error = named.argument + ": its certificate table does not end the file";
            return false;
        }
        end = fields.tableOffset;
    }
    if (fields.certificateDirectoryOffset + kDirectoryEntrySize > end || fields.checkSumOffset + kCheckSumSize > end) {
        error = named.argument + ": its PE headers could not be read";
        return false;
    }
    image.bytes.resize(static_cast<std::size_t>(end));
    ZeroField(image.bytes, fields.checkSumOffset, kCheckSumSize);
    ZeroField(image.bytes, fields.certificateDirectoryOffset, kDirectoryEntrySize);
    return true;
}

// The longer image may carry a signer's zero padding after the shorter
// one's bytes.
bool SameBytes(const UnsignedImage& shorter, const UnsignedImage& longer) {
    const std::size_t extra = longer.bytes.size() - shorter.bytes.size();
    const auto tail = longer.bytes.begin() + static_cast<std::ptrdiff_t>(shorter.bytes.size());
    if (extra != 0 && !(longer.wasSigned && extra < kTableAlignment && longer.bytes.size() % kTableAlignment == 0 &&
                        std::all_of(tail, longer.bytes.end(), [](char byte) { return byte == '\0'; }))) {
        return false;
    }
    return std::equal(shorter.bytes.begin(), shorter.bytes.end(), longer.bytes.begin());
}

std::string FirstDifference(const UnsignedImage& first, const UnsignedImage& second) {
    const auto mismatch = std::mismatch(first.bytes.begin(), first.bytes.end(), second.bytes.begin(),
                                        second.bytes.end());
    char text[96];
    std::snprintf(text, sizeof(text), "they first differ at byte 0x%zX (without signatures: %zu and %zu bytes)",
                  static_cast<std::size_t>(mismatch.first - first.bytes.begin()), first.bytes.size(),
                  second.bytes.size());
    return text;
}

std::string Signedness(const NamedFile& first, const UnsignedImage& firstImage, const NamedFile& second,
                       const UnsignedImage& secondImage) {
    const auto state = [](const UnsignedImage& image) { return image.wasSigned ? "signed" : "unsigned"; };
    return first.argument + " is " + state(firstImage) + ", " + second.argument + " is " + state(secondImage);
}

}  // namespace

bool CompareBuilds(const NamedFile& first, const NamedFile& second, BuildComparison& comparison,
                   std::string& error) {
    UnsignedImage firstImage;
    UnsignedImage secondImage;
    if (!ReadUnsignedImage(first, firstImage, error) || !ReadUnsignedImage(second, secondImage, error)) return false;
    const bool firstIsShorter = firstImage.bytes.size() <= secondImage.bytes.size();
    comparison.same = firstIsShorter ? SameBytes(firstImage, secondImage) : SameBytes(secondImage, firstImage);
    comparison.detail = comparison.same ? Signedness(first, firstImage, second, secondImage)
                                        : FirstDifference(firstImage, secondImage);
    return true;
}
