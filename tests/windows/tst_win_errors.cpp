// How Win32 failures reach the status export: libmodbus leaves errno alone
// when CreateFile, ReadFile or WriteFile fails, so the driver reads
// GetLastError instead. Compiled with the driver's own source, run under Wine.
// Winsock first: windows.h would bring the older winsock.h.
#include <winsock2.h>

#include <windows.h>

#include <cerrno>

#include "SystemError.h"
#include "WinTest.h"

namespace {

using modbusrtu::errnoFromWin32;
using modbusrtu::lastSystemError;

void win32CodesAsErrno() {
    CHECK_EQ(errnoFromWin32(ERROR_FILE_NOT_FOUND), ENOENT);
    CHECK_EQ(errnoFromWin32(ERROR_PATH_NOT_FOUND), ENOENT);
    CHECK_EQ(errnoFromWin32(ERROR_ACCESS_DENIED), EACCES);
    CHECK_EQ(errnoFromWin32(ERROR_SHARING_VIOLATION), EBUSY);
    CHECK_EQ(errnoFromWin32(ERROR_INVALID_HANDLE), EBADF);
    CHECK_EQ(errnoFromWin32(ERROR_BAD_COMMAND), EIO);
    CHECK_EQ(errnoFromWin32(ERROR_GEN_FAILURE), EIO);
    CHECK_EQ(errnoFromWin32(ERROR_OPERATION_ABORTED), EIO);
    CHECK_EQ(errnoFromWin32(WSAECONNREFUSED), ECONNREFUSED);
    CHECK_EQ(errnoFromWin32(WSAHOST_NOT_FOUND), EHOSTUNREACH);
    CHECK_EQ(errnoFromWin32(WSAECONNRESET), ECONNRESET);
    // Never 0, or the failure would look like none.
    CHECK_EQ(errnoFromWin32(0), EIO);
}

void errnoFirstThenLastError() {
    // libmodbus's own errors and time-outs come through errno as they are.
    SetLastError(ERROR_FILE_NOT_FOUND);
    errno = ETIMEDOUT;
    CHECK_EQ(lastSystemError(), ETIMEDOUT);
    errno = 0;
    CHECK_EQ(lastSystemError(), ENOENT);
    // A real failed open, through the same call the driver makes.
    HANDLE h = CreateFileA("\\\\.\\COM254", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    CHECK(h == INVALID_HANDLE_VALUE);
    errno = 0;
    CHECK_EQ(lastSystemError(), ENOENT);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return wintest::run(
        {
            {"win32CodesAsErrno", win32CodesAsErrno},
            {"errnoFirstThenLastError", errnoFirstThenLastError},
        },
        argc > 1 ? argv[1] : nullptr);
}
