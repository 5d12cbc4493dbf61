#include "release/named_file.h"

#include <algorithm>

#include "base/windows_error_text.h"
#include "manifest/utf8_to_wide.h"
#include "release/tool_output.h"

namespace {

constexpr std::uint64_t kReadChunkSize = 1048576;

std::string LastErrorLine(const std::string& argument) {
    return argument + ": " + ToUtf8(LastErrorMessage(L""));
}

bool ReadFileSize(HANDLE file, std::uint64_t& size) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file, &information)) return false;
    size = static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
    return true;
}

}  // namespace

bool OpenNamedFile(const std::string& argument, NamedFile& named, std::string& error) {
    named.argument = argument;
    named.path = Utf8ToWide(argument);
    if (named.path.empty()) {
        error = argument + ": the path is not UTF-8";
        return false;
    }
    // A folder is refused here as on Windows: it opens only with
    // FILE_FLAG_BACKUP_SEMANTICS.
    named.file.Reset(CreateFileW(named.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!named.file || !ReadFileSize(named.file.get(), named.size)) {
        error = LastErrorLine(argument);
        named.file.Reset();
        return false;
    }
    return true;
}

void CloseNamedFile(NamedFile& named) {
    named.file.Reset();
}

bool ReadNamedFileStart(const NamedFile& named, std::uint64_t count, std::string& bytes) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(named.file.get(), start, nullptr, FILE_BEGIN)) return false;
    bytes.assign(static_cast<std::size_t>(std::min(count, named.size)), '\0');
    for (std::size_t done = 0; done < bytes.size();) {
        const auto chunk = static_cast<DWORD>(std::min<std::uint64_t>(bytes.size() - done, kReadChunkSize));
        DWORD read = 0;
        if (!ReadFile(named.file.get(), bytes.data() + done, chunk, &read, nullptr) || read == 0) return false;
        done += read;
    }
    return true;
}

bool ReadNamedFile(const NamedFile& named, std::uint64_t limit, std::string& bytes) {
    return named.size <= limit && ReadNamedFileStart(named, named.size, bytes);
}
