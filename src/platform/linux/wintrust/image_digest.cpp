#include "platform/linux/wintrust/image_digest.h"

#include <array>

#include "platform/linux/wintrust/openssl_owners.h"

namespace velto::platform::wintrust {

namespace {

struct ByteRange {
    std::uint64_t begin;
    std::uint64_t end;
};

bool HashRange(const InputFile& file, ByteRange range, EVP_MD_CTX* context, std::vector<std::uint8_t>& buffer) {
    for (std::uint64_t position = range.begin; position < range.end;) {
        const std::uint64_t left = range.end - position;
        const std::size_t chunk = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
        if (!ReadExactlyInto(file, position, chunk, buffer.data()) ||
            EVP_DigestUpdate(context, buffer.data(), chunk) != 1) {
            return false;
        }
        position += chunk;
    }
    return true;
}

}  // namespace

bool ComputeImageDigest(const InputFile& file, const PeLayout& layout, const EVP_MD* algorithm,
                        std::vector<std::uint8_t>& digest) {
    const bool hasTable = layout.certificateTableOffset != 0 && layout.certificateTableSize != 0;
    const std::uint64_t coveredEnd = hasTable ? layout.certificateTableOffset : file.size;
    const std::array<ByteRange, 3> ranges{{
        {0, layout.checkSumOffset},
        {layout.checkSumOffset + 4, layout.certificateDirectoryOffset},
        {layout.certificateDirectoryOffset + 8, coveredEnd},
    }};
    for (const ByteRange& range : ranges) {
        if (range.begin > range.end || range.end > file.size) {
            return false;
        }
    }
    MdContextOwner context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1) {
        return false;
    }
    const std::uint64_t chunk = file.size < kDigestReadChunk ? file.size : kDigestReadChunk;
    std::vector<std::uint8_t> buffer(chunk == 0 ? 1 : static_cast<std::size_t>(chunk));
    for (const ByteRange& range : ranges) {
        if (!HashRange(file, range, context.get(), buffer)) {
            return false;
        }
    }
    digest.resize(static_cast<std::size_t>(EVP_MD_get_size(algorithm)));
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &written) != 1) {
        return false;
    }
    digest.resize(written);
    return true;
}

}  // namespace velto::platform::wintrust
