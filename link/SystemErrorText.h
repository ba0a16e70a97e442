#pragma once
// Why the system refused: one table of an errno's words, in Chinese, for the
// status line, the finder and the record alike. No system message reaches
// the user: an errno the table lacks is named by its number.

#include <QString>

// What was being used when the error came: a serial device, or a file the
// panel writes. The same errno can mean different things to a technician
// (EACCES on a port wants the dialout group; on a file, another folder).
enum class ErrorSubject { Device, File };

QString systemErrorText(int error, ErrorSubject subject = ErrorSubject::Device);

// A network connection that dropped; the driver connects again at the next
// transaction.
bool isConnectionLost(int error);

// Why the file call that just failed failed, as an errno value, or 0 when
// the system left no reason; clearFileError() goes before the call. On
// Windows Qt opens and writes files through Win32, which leaves errno alone
// and puts the reason in GetLastError: it is translated here.
void clearFileError();
int lastFileError();
