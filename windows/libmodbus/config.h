/* What libmodbus's configure would find for MinGW-w64: only its RTU and data
 * sources are compiled, and they ask for no more than this. Serial lines on
 * Windows have no RS-485 ioctls, and MinGW has no strlcpy, so libmodbus uses
 * its own. */
#ifndef TQ7310_WINDOWS_LIBMODBUS_CONFIG_H
#define TQ7310_WINDOWS_LIBMODBUS_CONFIG_H

#define HAVE_ERRNO_H 1
#define HAVE_FCNTL_H 1
#define HAVE_LIMITS_H 1
#define HAVE_STDINT_H 1
#define HAVE_STRING_H 1
#define HAVE_UNISTD_H 1
#define HAVE_DECL_TIOCSRS485 0
#define HAVE_DECL_TIOCM_RTS 0

#endif
