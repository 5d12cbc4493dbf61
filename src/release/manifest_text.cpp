#include "release/manifest_text.h"

#include <cstdio>

#include "app/bootstrap_sequence.h"
#include "manifest/release_manifest.h"
#include "manifest/utf8_to_wide.h"
#include "net/https_prefix.h"
#include "release/tool_output.h"
#include "verify/hex_text.h"

namespace {

// The escapes the bootstrapper decodes, by the byte they stand for; the
// quote and the backslash must be escaped, the control characters here
// may be, every other control character would need \u.
const char* EscapeFor(char byte) {
    switch (byte) {
        case '"': return "\\\"";
        case '\\': return "\\\\";
        case '\b': return "\\b";
        case '\f': return "\\f";
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '\t': return "\\t";
        default: return nullptr;
    }
}

bool NeedsUnicodeEscape(char byte) {
    return static_cast<unsigned char>(byte) < 0x20 && EscapeFor(byte) == nullptr;
}

std::string JsonString(const std::string& value) {
    std::string quoted = "\"";
    for (const char byte : value) {
        const char* escape = EscapeFor(byte);
        quoted += escape != nullptr ? std::string(escape) : std::string(1, byte);
    }
    return quoted + "\"";
}

bool CheckValue(const char* name, const std::string& value, std::string& refusal) {
    if (value.empty()) {
        refusal = std::string("the ") + name + " is empty";
        return false;
    }
    if (Utf8ToWide(value).empty()) {
        refusal = std::string("the ") + name + " is not well-formed UTF-8";
        return false;
    }
    for (const char byte : value) {
        if (NeedsUnicodeEscape(byte)) {
            char code[8];
            std::snprintf(code, sizeof(code), "U+%04X", static_cast<unsigned>(byte));
            refusal = std::string("the ") + name + " holds the control character " + code +
                      ", which only a \\u escape could carry, and the bootstrapper reads no \\u escape";
            return false;
        }
    }
    return true;
}

bool ReadsBackAs(const std::string& text, const std::string& version, const std::string& url,
                 const std::wstring& sha256) {
    const ReleaseManifest read = ReadReleaseManifest(text);
    return IsCompleteManifest(read) && read.version == Utf8ToWide(version) && read.url == Utf8ToWide(url) &&
           read.sha256 == sha256;
}

}  // namespace

bool CheckManifestValues(const std::string& version, const std::string& url, std::string& refusal) {
    if (!CheckValue("version", version, refusal) || !CheckValue("URL", url, refusal)) return false;
    if (!HasHttpsPrefix(Utf8ToWide(url))) {
        refusal = "the URL does not start with https://";
        return false;
    }
    return true;
}

bool ComposeManifest(const std::string& version, const std::string& url, const Sha256Digest& digest,
                     std::string& text, std::string& refusal) {
    if (!CheckManifestValues(version, url, refusal)) return false;
    const std::wstring sha256 = NormalizeHex(BytesToHex(digest.data(), digest.size()));
    text = "{\n  \"version\": " + JsonString(version) + ",\n  \"url\": " + JsonString(url) +
           ",\n  \"sha256\": \"" + ToUtf8(sha256) + "\"\n}\n";
    if (text.size() > kManifestSizeLimit) {
        refusal = "the manifest would be " + std::to_string(text.size()) + " bytes; the bootstrapper reads at most " +
                  std::to_string(kManifestSizeLimit);
        return false;
    }
    if (!ReadsBackAs(text, version, url, sha256)) {
        // A value that ends in a quoted member name ("x\"sha256") makes the
        // bootstrapper's byte search find that name inside the value.
        refusal = "the bootstrapper would read other values from this manifest: a value that ends in a quoted "
                  "member name, such as x\\\"sha256, is found as that member";
        return false;
    }
    return true;
}
