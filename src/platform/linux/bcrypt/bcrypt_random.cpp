// BCryptGenRandom with the system's preferred generator, the only way the
// bootstrapper asks for random bytes: OpenSSL's, seeded by the kernel.
#include <openssl/rand.h>

#include <climits>

#include "platform/linux/bcrypt.h"

extern "C" NTSTATUS BCryptGenRandom(BCRYPT_ALG_HANDLE hAlgorithm, PUCHAR pbBuffer, ULONG cbBuffer, ULONG dwFlags) {
    if (hAlgorithm != nullptr) return STATUS_INVALID_HANDLE;
    if (dwFlags != BCRYPT_USE_SYSTEM_PREFERRED_RNG || (pbBuffer == nullptr && cbBuffer != 0) || cbBuffer > INT_MAX) {
        return STATUS_INVALID_PARAMETER;
    }
    if (cbBuffer == 0) return STATUS_SUCCESS;
    return RAND_bytes(pbBuffer, static_cast<int>(cbBuffer)) == 1 ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}
