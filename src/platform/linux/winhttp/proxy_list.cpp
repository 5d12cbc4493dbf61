#include "platform/linux/winhttp/proxy_list.h"

#include "platform/linux/text_conversion.h"

namespace velto::platform::winhttp {
namespace {

bool IsSeparator(char c) {
    return c == ';' || c == ' ' || c == '\t' || c == ',';
}

void AppendEntry(std::string& list, std::string entry) {
    if (entry == "<local>" || entry.empty()) return;
    if (entry.front() == '*') entry.erase(0, 1);
    if (!list.empty()) list.push_back(',');
    list += entry;
}

}  // namespace

bool ToCurlBypassList(LPCWSTR bypass, std::string& list) {
    std::string text;
    if (!Utf16ToUtf8(bypass, text)) return false;
    list.clear();
    std::string entry;
    for (const char c : text) {
        if (IsSeparator(c)) {
            AppendEntry(list, entry);
            entry.clear();
        } else {
            entry.push_back(c);
        }
    }
    AppendEntry(list, entry);
    return true;
}

}  // namespace velto::platform::winhttp
