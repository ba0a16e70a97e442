#include "SystemError.h"

#include <cerrno>

#if defined(_WIN32)
// Winsock first: windows.h would bring the older winsock.h.
#include <winsock2.h>

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
        // Winsock's, which GetLastError gives as well.
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAEHOSTUNREACH:
        case WSAHOST_NOT_FOUND:
            return EHOSTUNREACH;
        case WSAENETUNREACH:
            return ENETUNREACH;
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAESHUTDOWN:
            return ECONNRESET;
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
