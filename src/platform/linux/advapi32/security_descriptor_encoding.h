// Security descriptors as the layer builds them, before they are written
// in Windows' self-relative form: an owner and a DACL of allow entries.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/linux/support/security_descriptor_format.h"
#include "platform/linux/win_types.h"

namespace velto::platform {

struct Ace {
    std::uint8_t flags = 0;
    std::uint32_t mask = 0;
    const descriptor::Principal* principal = nullptr;
};

struct Descriptor {
    const descriptor::Principal* owner = nullptr;
    bool hasDacl = false;
    std::uint16_t daclControl = 0;
    std::vector<Ace> aces;
};

// Writes descriptor in self-relative form into memory that LocalFree
// releases, and its size into size when that is not null. FALSE with the
// last error set when it cannot.
BOOL AllocateDescriptor(const Descriptor& descriptor, PSECURITY_DESCRIPTOR* out, PULONG size);

}  // namespace velto::platform
