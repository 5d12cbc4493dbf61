// LocalFree for every block the layer allocates for its caller (error
// texts, security descriptors): they all come from the C library's heap.
#include <cstdlib>

#include "platform/linux/kernel32.h"

extern "C" HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}
