// libFuzzer target for ExtractJsonString, which reads the manifest that
// the release server sends. The input is split into a key and a text. The
// value found can only come from the text and only after the quoted key;
// and any byte string, escaped and quoted as JSON, reads back unchanged.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "manifest/json_string.h"

namespace {

std::string EscapeForJson(const std::string& value) {
    std::string escaped;
    for (const char byte : value) {
        switch (byte) {
            case '"': escaped += "\\\""; break;
            case '\\': escaped += "\\\\"; break;
            case '\n': escaped += "\\n"; break;
            case '\t': escaped += "\\t"; break;
            case '/': escaped += "\\/"; break;
            default: escaped += byte;
        }
    }
    return escaped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velto::fuzz;
    FuzzInput input{data, size};
    const std::string key = input.TakeBytes(input.TakeByte() % 16);
    const std::string text = input.TakeRest();

    const std::string value = ExtractJsonString(text, key);
    Require(value.size() <= text.size(), "the value is no longer than the text");
    Require(value.empty() || text.find('"' + key + '"') != std::string::npos, "a value follows its quoted key");

    const std::string document = "{\"" + EscapeForJson(key) + "\": \"" + EscapeForJson(text) + "\"}";
    if (key.find_first_of("\"\\\n\t/") == std::string::npos) {
        Require(ExtractJsonString(document, key) == text, "an escaped value reads back unchanged");
    }
    return 0;
}
