// Fetching one HTTPS address into memory, with strict HTTPS, a status check
// and a size cap.
#pragma once

#include <cstdint>
#include <string>

#include "base/byte_buffer.h"

inline constexpr wchar_t kSizeLimitMessage[] = L"The downloaded file exceeded the safety size limit.";
inline constexpr wchar_t kNotHttpsUrlMessage[] = L"Velto refused a non-HTTPS download URL.";
inline constexpr wchar_t kHttpsRequiredMessage[] = L"Velto requires HTTPS for release downloads.";
inline constexpr wchar_t kStatusUnreadMessage[] = L"Could not read the HTTP response status.";
// Followed by the status in decimal digits and ".".
inline constexpr wchar_t kServerStatusPrefix[] = L"The Velto server returned HTTP ";
// Each followed by the system's text for the error.
inline constexpr wchar_t kInvalidUrlPrefix[] = L"Invalid release URL: ";
inline constexpr wchar_t kClientFailedPrefix[] = L"Could not initialize the Windows HTTP client: ";
inline constexpr wchar_t kConnectFailedPrefix[] = L"Could not connect to the Velto download server: ";
inline constexpr wchar_t kRequestNotCreatedPrefix[] = L"Could not create the download request: ";
inline constexpr wchar_t kRequestFailedPrefix[] = L"The Velto download request failed: ";
inline constexpr wchar_t kStreamFailedPrefix[] = L"Could not read the download stream: ";

// Fetches url with one GET. True when a 2xx status arrived and the whole
// body, at most sizeLimit bytes, is in body; false with errorText replaced
// by one message otherwise.
bool DownloadHttps(const std::wstring& url, ByteBuffer& body, std::uint64_t sizeLimit, std::wstring& errorText);
