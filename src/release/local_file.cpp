#include "release/local_file.h"

#include <algorithm>

#include "base/scoped_owner.h"
#include "base/windows_error_text.h"
#include "net/download_https.h"

namespace {

constexpr std::uint64_t kReadChunkSize = 1048576;

// Reads into body up to limit bytes; tooLarge when a byte follows them.
bool ReadUpTo(HANDLE file, ByteBuffer& body, std::uint64_t limit, bool& tooLarge) {
    if (!body.ReserveRoom(limit)) return false;
    for (;;) {
        const std::size_t had = body.size();
        if (had == limit) {
            std::uint8_t extra = 0;
            DWORD read = 0;
            if (!ReadFile(file, &extra, 1, &read, nullptr)) return false;
            tooLarge = read != 0;
            return true;
        }
        const auto chunk = static_cast<DWORD>(std::min<std::uint64_t>(limit - had, kReadChunkSize));
        DWORD read = 0;
        if (!body.ResizeWithinRoom(had + chunk) || !ReadFile(file, body.data() + had, chunk, &read, nullptr)) {
            return false;
        }
        body.ResizeWithinRoom(had + read);
        if (read == 0) return true;
    }
}

}  // namespace

bool ReadLocalFile(const std::wstring& path, ByteBuffer& body, std::uint64_t limit, std::wstring& errorText) {
    const ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    bool tooLarge = false;
    if (!file || !ReadUpTo(file.get(), body, limit, tooLarge)) {
        errorText = LastErrorMessage(L"Could not read the file: ");
        return false;
    }
    if (tooLarge) {
        errorText = kSizeLimitMessage;
        return false;
    }
    return true;
}
