// Reading the string value of a named member from the manifest's JSON text,
// by a byte search rather than a full JSON parse.
#pragma once

#include <string>

// The decoded value of the first "key" member, or an empty string when it
// is missing or cannot be read. Works on bytes: UTF-8 passes unchanged.
std::string ExtractJsonString(const std::string& text, const std::string& key);
