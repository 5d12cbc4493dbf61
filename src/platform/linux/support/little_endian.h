// Fields of Windows file formats (PE images, security descriptors), which
// are little-endian, read and written byte by byte whatever the host's
// byte order.
#pragma once

#include <cstdint>

namespace velto::platform {

inline std::uint16_t ReadLittle16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

inline std::uint32_t ReadLittle32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(ReadLittle16(at)) | static_cast<std::uint32_t>(ReadLittle16(at + 2)) << 16;
}

inline void WriteLittle16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void WriteLittle32(std::uint8_t* at, std::uint32_t value) {
    WriteLittle16(at, static_cast<std::uint16_t>(value));
    WriteLittle16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace velto::platform
