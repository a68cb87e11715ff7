#pragma once

#include "session/ftp_component.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

// Files named by the bytes a server holds them under, for tests that move
// names in any encoding; and the failure a call throws.

// A name as a listing shows it: UTF-8 when it is, Latin-1 otherwise.
inline QString Shown(const QByteArray& name)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(name);
    return utf8.hasError() ? QString::fromLatin1(name) : text;
}

inline QByteArray In(const QByteArray& folder, const QByteArray& name) { return folder + '/' + name; }

// The test files' contents: told apart by name, filler bytes after.
inline QByteArray ContentOf(const QByteArray& name, qsizetype filler)
{
    return name == "empty.txt" ? QByteArray() : "content of [" + name + "]\n" + QByteArray(filler, name.at(1));
}

inline bool WriteRaw(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

inline QByteArray ReadRaw(const QByteArray& path)
{
    QFile file;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "<missing>";
    return file.readAll();
}

inline bool Exists(const QByteArray& path)
{
    struct stat st{};
    return ::lstat(path.constData(), &st) == 0;
}

// The failure call throws; number -1 when it throws none.
inline quillmar::FtpError FailureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const quillmar::FtpError& e) {
        return e;
    }
    return quillmar::FtpError(-1, QStringLiteral("no failure"));
}
