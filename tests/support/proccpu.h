#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

// CPU time (user + system) a process has used, in ms, from /proc; pid 0 is
// this process. -1 when it cannot be read.
inline qint64 processCpuMs(qint64 pid = 0)
{
    QFile f(pid > 0 ? QStringLiteral("/proc/%1/stat").arg(pid) : QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command name, which may hold spaces: state is the
    // first, utime the 12th, stime the 13th.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}
