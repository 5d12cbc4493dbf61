// Hexadecimal text: the only form in which digests and fingerprints are
// compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Upper-case hexadecimal, two characters per byte, high nibble first.
std::wstring BytesToHex(const std::uint8_t* bytes, std::size_t count);

// Keeps only the hexadecimal digits of text, a to f upper-cased, as the C
// runtime classifies them in the "C" locale.
std::wstring NormalizeHex(std::wstring text);

// Exact, case-sensitive comparison of two normalised texts.
bool HexEquals(const std::wstring& left, const std::wstring& right);
