// Fetching one HTTPS address into memory, with strict HTTPS, a status check
// and a size cap.
#pragma once

#include <cstdint>
#include <string>

#include "base/byte_buffer.h"

inline constexpr wchar_t kSizeLimitMessage[] = L"The downloaded file exceeded the safety size limit.";

// Fetches url with one GET. True when a 2xx status arrived and the whole
// body, at most sizeLimit bytes, is in body; false with errorText replaced
// by one message otherwise.
bool DownloadHttps(const std::wstring& url, ByteBuffer& body, std::uint64_t sizeLimit, std::wstring& errorText);
