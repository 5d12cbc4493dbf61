// ConvertStringSecurityDescriptorToSecurityDescriptorW for the part of the
// Security Descriptor Definition Language that the bootstrapper writes: an
// owner ("O:" SY or BA) and a discretionary ACL ("D:" with the flags P and
// AI) of allow entries "(A;flags;rights;;;sid)" with the inheritance flags
// OI and CI, the file rights FA, FR, FW and FX or a hexadecimal mask, for
// SY, BA or OW. Anything else is refused rather than half understood.
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/linux/advapi32.h"
#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/little_endian.h"
#include "platform/linux/advapi32/security_descriptor_encoding.h"
#include "platform/linux/support/security_descriptor_format.h"

namespace {

namespace format = velto::platform::descriptor;
using velto::platform::Ace;
using velto::platform::AllocateDescriptor;
using velto::platform::Descriptor;
using velto::platform::Fail;

struct NamedValue {
    std::string_view name;
    std::uint32_t value;
};

constexpr NamedValue kFileRights[] = {
    {"FA", 0x001F01FF},  // FILE_ALL_ACCESS
    {"FR", 0x00120089},  // FILE_GENERIC_READ
    {"FW", 0x00120116},  // FILE_GENERIC_WRITE
    {"FX", 0x001200A0},  // FILE_GENERIC_EXECUTE
};
constexpr NamedValue kAceFlags[] = {{"OI", format::kObjectInherit}, {"CI", format::kContainerInherit}};
constexpr NamedValue kDaclFlags[] = {{"P", format::kDaclProtected}, {"AI", format::kDaclAutoInherited}};
constexpr std::size_t kAceFields = 6;
constexpr std::size_t kMostHexDigits = 8;

bool Consume(std::wstring_view& text, std::string_view token) {
    if (text.size() < token.size()) return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (text[i] != static_cast<wchar_t>(token[i])) return false;
    }
    text.remove_prefix(token.size());
    return true;
}

// Takes a run of the named values off the front of text and ORs them
// into value; false when text begins with anything else.
template <std::size_t N>
bool ConsumeNames(std::wstring_view& text, const NamedValue (&names)[N], std::uint32_t& value) {
    for (const NamedValue& named : names) {
        if (Consume(text, named.name)) {
            value |= named.value;
            return true;
        }
    }
    return false;
}

// The whole field is a list of the named values (empty when allowEmpty).
template <std::size_t N>
bool ParseNames(std::wstring_view field, const NamedValue (&names)[N], bool allowEmpty, std::uint32_t& value) {
    if (field.empty()) return allowEmpty;
    while (!field.empty()) {
        if (!ConsumeNames(field, names, value)) return false;
    }
    return true;
}

bool ParseHexMask(std::wstring_view field, std::uint32_t& mask) {
    if (!Consume(field, "0x") || field.empty() || field.size() > kMostHexDigits) return false;
    std::uint32_t value = 0;
    for (wchar_t c : field) {
        const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10
                        : c >= L'A' && c <= L'F' ? c - L'A' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    mask = value;
    return true;
}

const format::Principal* ParsePrincipal(std::wstring_view field) {
    for (const format::Principal& principal : format::kPrincipals) {
        std::wstring_view rest = field;
        if (Consume(rest, principal.sddl) && rest.empty()) return &principal;
    }
    return nullptr;
}

// One entry, "A;flags;rights;;;sid", without its parentheses.
bool ParseAce(std::wstring_view text, Ace& ace) {
    std::wstring_view fields[kAceFields];
    for (std::size_t i = 0; i + 1 < kAceFields; ++i) {
        const std::size_t semicolon = text.find(L';');
        if (semicolon == std::wstring_view::npos) return false;
        fields[i] = text.substr(0, semicolon);
        text.remove_prefix(semicolon + 1);
    }
    fields[kAceFields - 1] = text;
    std::uint32_t flags = 0;
    ace.principal = ParsePrincipal(fields[5]);
    if (fields[0] != L"A" || !ParseNames(fields[1], kAceFlags, true, flags) || !fields[3].empty() ||
        !fields[4].empty() || ace.principal == nullptr) {
        return false;
    }
    ace.flags = static_cast<std::uint8_t>(flags);
    return ParseHexMask(fields[2], ace.mask) || ParseNames(fields[2], kFileRights, false, ace.mask);
}

bool ParseDacl(std::wstring_view text, Descriptor& descriptor) {
    descriptor.hasDacl = true;
    const std::size_t firstAce = text.find(L'(');
    std::uint32_t control = 0;
    if (!ParseNames(text.substr(0, firstAce), kDaclFlags, true, control)) return false;
    descriptor.daclControl = static_cast<std::uint16_t>(control);
    text.remove_prefix(firstAce == std::wstring_view::npos ? text.size() : firstAce);
    while (Consume(text, "(")) {
        const std::size_t close = text.find(L')');
        Ace ace;
        if (close == std::wstring_view::npos || !ParseAce(text.substr(0, close), ace)) return false;
        descriptor.aces.push_back(ace);
        text.remove_prefix(close + 1);
    }
    return text.empty();
}

bool Parse(std::wstring_view text, Descriptor& descriptor) {
    if (Consume(text, "O:")) {
        const std::size_t end = text.find(L"D:");
        descriptor.owner = ParsePrincipal(text.substr(0, end));
        if (descriptor.owner == nullptr || !descriptor.owner->mayOwn) return false;
        text.remove_prefix(end == std::wstring_view::npos ? text.size() : end);
    }
    return Consume(text, "D:") ? ParseDacl(text, descriptor) : text.empty();
}

}  // namespace

extern "C" BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor,
                                                                      DWORD StringSDRevision,
                                                                      PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                      PULONG SecurityDescriptorSize) {
    if (StringSecurityDescriptor == nullptr || SecurityDescriptor == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (StringSDRevision != SDDL_REVISION_1) return Fail(ERROR_UNKNOWN_REVISION);
    Descriptor descriptor;
    if (!Parse(StringSecurityDescriptor, descriptor)) return Fail(ERROR_INVALID_PARAMETER);
    return AllocateDescriptor(descriptor, SecurityDescriptor, SecurityDescriptorSize);
}
