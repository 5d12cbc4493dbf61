// CloseHandle for every kind of kernel handle the layer hands out. A child
// process is released with the last of its two handles (child_process.cpp).
#include <unistd.h>

#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"

extern "C" BOOL CloseHandle(HANDLE hObject) {
    velto::platform::KernelObject object;
    if (!velto::platform::TakeObject(hObject, object)) return FALSE;
    if (object.kind == velto::platform::ObjectKind::File) close(object.fd);
    return TRUE;
}
