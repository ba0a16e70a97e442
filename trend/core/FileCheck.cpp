#include "FileCheck.h"

#include <QFileInfo>
#include <QtGlobal>

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

FileFate FileCheck::check(const QString& path, int fd, qint64 written) const {
    struct stat open {};
    struct stat named {};
    if (fstat(fd, &open) != 0 || stat(QFile::encodeName(path).constData(), &named) != 0) {
        return FileFate::Gone;
    }
    if (quint64(named.st_dev) != device_ || quint64(named.st_ino) != inode_) {
        return FileFate::Replaced;
    }
    if (open.st_nlink == 0) {
        return FileFate::Gone;
    }
    return open.st_size < written ? FileFate::Truncated : FileFate::Same;
}

#else

// Without inodes: the path must still be there and hold what was written.
void FileCheck::take(int) {}

FileFate FileCheck::check(const QString& path, int, qint64 written) const {
    const QFileInfo info(path);
    if (!info.exists()) {
        return FileFate::Gone;
    }
    return info.size() < written ? FileFate::Truncated : FileFate::Same;
}

#endif

QString fateText(FileFate fate) {
    switch (fate) {
        case FileFate::Same:
            break;
        case FileFate::Replaced:
            return QStringLiteral("文件已被替换");
        case FileFate::Truncated:
            return QStringLiteral("文件已被截断");
        case FileFate::Gone:
            return QStringLiteral("文件已被删除或移走");
    }
    return {};
}

}  // namespace trend
