// Whether a security descriptor keeps a new folder private to the running
// user, the only protection the layer can give it (mode 0700).
#pragma once

#include "platform/linux/win_types.h"

namespace velto::platform {

// STATUS_SUCCESS for a self-relative descriptor with a discretionary ACL
// whose allow entries, and whose owner, name only principals the layer
// knows (each of them the running user); STATUS_NOT_SUPPORTED for one that
// would let anyone else in or that the layer cannot read;
// STATUS_INVALID_SECURITY_DESCR for one that is malformed. As on Windows,
// the descriptor's size is not known: its offsets are trusted.
NTSTATUS CheckPrivateDescriptor(const void* descriptor);

}  // namespace velto::platform
