#include "SystemErrorText.h"

#include <cerrno>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct ErrorWords {
    int error;
    const char* device;
    const char* file;  // null: as for a device
};

#ifdef __linux__
#define TQ7310_NO_PERMISSION "没有权限（用户需加入 dialout 组）"
#else
#define TQ7310_NO_PERMISSION "没有权限"
#endif

const ErrorWords kWords[] = {
    {ENOENT, "没有该设备", "文件夹不存在"},
    {ENODEV, "没有该设备", nullptr},
    {ENXIO, "没有该设备", nullptr},
    {EACCES, TQ7310_NO_PERMISSION, "没有权限"},
    {EPERM, TQ7310_NO_PERMISSION, "没有权限"},
    {EROFS, "设备只读", "没有写入权限"},
    {EBUSY, "设备被其他程序占用", "文件被其他程序占用"},
    {EIO, "输入输出错误", nullptr},
    {ENOSPC, "设备已满", "磁盘已满"},
#ifdef EDQUOT
    {EDQUOT, "设备已满", "磁盘配额已用完"},
#endif
    {EFBIG, "数据过大", "文件过大"},
    {EISDIR, "不是串口设备（是文件夹）", "是文件夹，不是文件"},
    {ENOTDIR, "路径中有一段不是文件夹", nullptr},
    {ENOTTY, "不是串口设备", nullptr},
    {EINVAL, "设备不接受该通讯参数", "参数无效"},
    {ENAMETOOLONG, "路径太长", nullptr},
    {ELOOP, "符号链接循环", nullptr},
    {EMFILE, "打开的文件太多", nullptr},
    {ENFILE, "打开的文件太多", nullptr},
    {ENOMEM, "内存不足", nullptr},
    {EAGAIN, "设备暂时不可用", nullptr},
    {EINTR, "操作被中断", nullptr},
    {EBADF, "设备已关闭", "文件已关闭"},
    {ETIMEDOUT, "超时", nullptr},
    {EPIPE, "连接断开，重连…", nullptr},
    {ECONNRESET, "连接断开，重连…", nullptr},
    {ECONNABORTED, "连接断开，重连…", nullptr},
    {ECONNREFUSED, "连接被拒绝", nullptr},
    {EHOSTUNREACH, "主机不可达", nullptr},
    {ENETUNREACH, "网络不可达", nullptr},
    {ENOTSUP, "设备不支持该操作", "不支持该操作"},
#ifdef ESTALE
    {ESTALE, "设备已失效", "文件已失效"},
#endif
};

#undef TQ7310_NO_PERMISSION

}  // namespace

bool isConnectionLost(int error) {
    return error == EPIPE || error == ECONNRESET || error == ECONNABORTED;
}

QString systemErrorText(int error, ErrorSubject subject) {
    for (const ErrorWords& w : kWords) {
        if (w.error == error) {
            return QString::fromUtf8(subject == ErrorSubject::File && w.file ? w.file : w.device);
        }
    }
    return error == 0 ? QStringLiteral("原因不明") : QStringLiteral("系统错误 %1").arg(error);
}

void clearFileError() {
    errno = 0;
#ifdef _WIN32
    SetLastError(ERROR_SUCCESS);
#endif
}

int lastFileError() {
    if (errno != 0) {
        return errno;
    }
#ifdef _WIN32
    switch (GetLastError()) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        default:
            return EIO;
    }
#else
    return 0;
#endif
}
