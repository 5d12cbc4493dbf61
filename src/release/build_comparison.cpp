#include "release/build_comparison.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/bootstrap_sequence.h"
#include "platform/linux/wintrust/pe_layout.h"

namespace wintrust = velto::platform::wintrust;

namespace {

// Signing tools pad the image with zeros to a multiple of this before
// appending the certificate table.
constexpr std::size_t kTableAlignment = 8;
constexpr std::size_t kCheckSumSize = 4;
constexpr std::size_t kDirectoryEntrySize = 8;

struct UnsignedImage {
    std::vector<std::uint8_t> bytes;
    bool wasSigned = false;
};

void ZeroField(std::vector<std::uint8_t>& bytes, std::uint64_t offset, std::size_t size) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), size, 0);
}

bool ReadUnsignedImage(const NamedFile& named, UnsignedImage& image, std::string& error) {
    wintrust::PeLayout layout;
    if (wintrust::ReadPeLayout(named.file, layout) != wintrust::PeReadResult::kImage) {
        error = named.argument + ": not a Windows program (PE image)";
        return false;
    }
    std::uint64_t end = named.file.size;
    image.wasSigned = layout.certificateTableSize != 0;
    if (image.wasSigned) {
        if (layout.certificateTableOffset > end || end - layout.certificateTableOffset != layout.certificateTableSize) {
            error = named.argument + ": its certificate table does not end the file";
            return false;
        }
        end = layout.certificateTableOffset;
    }
    if (end > kInstallerSizeLimit || layout.certificateDirectoryOffset + kDirectoryEntrySize > end ||
        layout.checkSumOffset + kCheckSumSize > end ||
        !wintrust::ReadExactly(named.file, 0, static_cast<std::size_t>(end), image.bytes)) {
        error = named.argument + ": its PE headers could not be read";
        return false;
    }
    ZeroField(image.bytes, layout.checkSumOffset, kCheckSumSize);
    ZeroField(image.bytes, layout.certificateDirectoryOffset, kDirectoryEntrySize);
    return true;
}

// The longer image may carry a signer's zero padding after the shorter
// one's bytes.
bool SameBytes(const UnsignedImage& shorter, const UnsignedImage& longer) {
    const std::size_t extra = longer.bytes.size() - shorter.bytes.size();
    const auto tail = longer.bytes.begin() + static_cast<std::ptrdiff_t>(shorter.bytes.size());
    if (extra != 0 && !(longer.wasSigned && extra < kTableAlignment && longer.bytes.size() % kTableAlignment == 0 &&
                        std::all_of(tail, longer.bytes.end(), [](std::uint8_t byte) { return byte == 0; }))) {
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
