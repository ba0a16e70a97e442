#include "FileCheck.h"

#include <QFileInfo>
#include <QtGlobal>

#include <cerrno>

#include "SystemErrorText.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace trend {

#ifdef Q_OS_UNIX

void FileCheck::take(int fd) {
    struct stat open {};
    if (fstat(fd, &open) == 0) {
        device_ = quint64(open.st_dev);
        inode_ = quint64(open.st_ino);
    }
}

FileState FileCheck::check(const QString& path, int fd, qint64 written) const {
    struct stat open {};
    struct stat named {};
    errno = 0;
    if (fstat(fd, &open) != 0 || stat(QFile::encodeName(path).constData(), &named) != 0) {
        // Only a path that leads nowhere means the file is gone; a folder
        // made unreadable hides a file that may well still be there.
        const bool gone = errno == ENOENT || errno == ENOTDIR;
        return {gone ? FileFate::Gone : FileFate::Unseen, gone ? 0 : errno};
    }
    if (quint64(named.st_dev) != device_ || quint64(named.st_ino) != inode_) {
        return {FileFate::Replaced};
    }
    if (open.st_nlink == 0) {
        return {FileFate::Gone};
    }
    return {open.st_size < written ? FileFate::Truncated : FileFate::Same};
}

#else

// Without inodes: the path must still be there and hold what was written.
void FileCheck::take(int) {}

FileState FileCheck::check(const QString& path, int, qint64 written) const {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {FileFate::Gone};
    }
    return {info.size() < written ? FileFate::Truncated : FileFate::Same};
}

#endif

QString fateText(const FileState& state) {
    switch (state.fate) {
        case FileFate::Same:
            break;
        case FileFate::Replaced:
            return QStringLiteral("文件已被替换");
        case FileFate::Truncated:
            return QStringLiteral("文件已被截断");
        case FileFate::Gone:
            return QStringLiteral("文件已被删除或移走");
        case FileFate::Unseen:
            return QStringLiteral("无法查看文件：") +
                   systemErrorText(state.error, ErrorSubject::File);
    }
    return {};
}

}  // namespace trend
