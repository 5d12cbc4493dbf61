// CloseHandle for every kind of kernel handle the layer hands out.
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/handle_table.h"
#include "platform/linux/kernel32.h"

extern "C" BOOL CloseHandle(HANDLE hObject) {
    velto::platform::KernelObject object;
    if (!velto::platform::TakeObject(hObject, object)) return FALSE;
    if (object.kind == velto::platform::ObjectKind::File) {
        close(object.fd);
    } else if (object.kind == velto::platform::ObjectKind::Process && !object.ended) {
        // Closing does not end the process; reap it now if it has ended so
        // that it does not linger as a zombie.
        int status = 0;
        waitpid(object.pid, &status, WNOHANG);
    }
    return TRUE;
}
