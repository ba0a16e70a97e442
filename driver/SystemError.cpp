#include "SystemError.h"

#include <cerrno>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace modbusrtu {

#if defined(_WIN32)
int errnoFromWin32(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            // No such COM port, or its adapter is unplugged.
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            // What Windows answers for a COM port another program holds open.
            return EACCES;
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        default:
            // Unplugging an adapter mid-transfer shows as ERROR_BAD_COMMAND,
            // ERROR_GEN_FAILURE, ERROR_OPERATION_ABORTED and the like; all
            // of them mean the device has to be opened again.
            return EIO;
    }
}
#endif

int lastSystemError() {
    if (errno != 0) {
        return errno;
    }
#if defined(_WIN32)
    return errnoFromWin32(GetLastError());
#else
    return EIO;
#endif
}

}  // namespace modbusrtu
