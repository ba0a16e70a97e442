#ifndef TQ7310_DRIVER_SYSTEMERROR_H
#define TQ7310_DRIVER_SYSTEMERROR_H

namespace modbusrtu {

// Why the libmodbus call that just failed failed, as an errno value; set
// errno to 0 before the call. libmodbus sets errno for its own errors and
// time-outs everywhere, but on Windows it leaves errno alone when a Win32
// call (CreateFile, ReadFile, WriteFile, SetCommState) fails: the reason is
// then in GetLastError and is translated here. Never 0.
int lastSystemError();

#if defined(_WIN32)
// The errno value a Win32 error code stands for where the status export
// tells them apart (a missing port, a port in use); EIO for the rest.
int errnoFromWin32(unsigned long code);
#endif

}  // namespace modbusrtu

#endif
