#pragma once
// What every benchmark needs: stopping with a reason, its options, a median, and
// the figures of this process and machine it prints beside its own. Only the
// benchmarks' own programs include it, each one file, so these stand at the top level.
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void die(const QString &why)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, qPrintable(why));
    std::exit(1);
}

// The value after `name` on the command line, or `fallback`.
inline QString option(const QStringList &args, const QString &name, const QString &fallback = {})
{
    const int i = int(args.indexOf(name));
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
}

inline double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

// A figure of /proc/self/status ("VmHWM", "VmRSS", "RssAnon"), in MiB; -1 when absent.
inline double statusMiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// The one-minute load average, for the figures taken on a shared machine.
inline double loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : -1;
}
