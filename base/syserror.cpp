#include "base/syserror.h"

#include <cerrno>
#include <cstring>

QString systemErrorText(int errnum)
{
    switch (errnum) {
    case 0:
        return QStringLiteral("未知错误");
    case ENOENT:
        return QStringLiteral("没有那个文件或目录");
    case EACCES:
    case EPERM:
        return QStringLiteral("权限不够");
    case EROFS:
        return QStringLiteral("只读文件系统");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘已满");
    case EISDIR:
        return QStringLiteral("是一个目录");
    case ENOTDIR:
        return QStringLiteral("路径中有一部分不是目录");
    case EEXIST:
        return QStringLiteral("文件已存在");
    case ENAMETOOLONG:
        return QStringLiteral("文件名过长");
    case ELOOP:
        return QStringLiteral("符号链接层数过多");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件过多");
    case EIO:
        return QStringLiteral("输入/输出错误");
    case EFBIG:
        return QStringLiteral("文件过大");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("没有那个设备");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("文件正忙");
    case ENOMEM:
        return QStringLiteral("内存不足");
    case EPIPE:
        return QStringLiteral("管道已断开");
    default:
        return QStringLiteral("系统错误 %1 (%2)").arg(errnum).arg(QString::fromLocal8Bit(std::strerror(errnum)));
    }
}
