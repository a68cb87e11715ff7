#pragma once

#include "session/ftp_component.h"
#include "session/listing.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringDecoder>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <ostream>

// Files named by the bytes a server holds them under, for tests that move
// names in any encoding; folders on disk beside the server's listing of
// them; and the failure a call throws.

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

// Bytes of a file to move, the same for the same size, so a block moved,
// lost or doubled shows.
inline QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(quint32(size) + 7);
    for (char& byte : bytes)
        byte = char(generator.generate());
    return bytes;
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

// Connects the way the main window does: port property 21, the real port in
// the address (after the scheme, when one is given).
inline void Connect(quillmar::FtpComponent& ftp, int port, const QString& password = QStringLiteral("demo"),
                    const QString& user = QStringLiteral("demo"), const QString& scheme = QString())
{
    ftp.setUserName(user);
    ftp.setPassword(password);
    ftp.setPort(21);
    ftp.setHost(scheme + QStringLiteral("127.0.0.1:%1").arg(port));
    ftp.setAction(quillmar::FtpComponent::Connect);
}

// A folder's entries by their shown names (folders end in "/").
struct Row {
    bool folder = false;
    qint64 bytes = 0;
    bool link = false;
    bool operator==(const Row&) const = default;
};
using Rows = std::map<QString, Row>;

inline void PrintTo(const Row& row, std::ostream* out)
{
    *out << (row.folder ? "folder" : row.link ? "link" : "file") << ' ' << row.bytes;
}

// What a listing of folder should give: links as links or, where the server
// describes them by what they lead to, as that.
inline Rows RowsOnDisk(const QByteArray& folder, bool followLinks = false)
{
    Rows rows;
    DIR* dir = ::opendir(folder.constData());
    while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name(entry->d_name);
        struct stat st{};
        if (name == "." || name == ".." || (followLinks ? ::stat : ::lstat)(In(folder, name).constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            rows[Shown(name) + u'/'] = Row{true, 0, false};
        else
            rows[Shown(name)] = Row{false, qint64(st.st_size), S_ISLNK(st.st_mode)};
    }
    if (dir)
        ::closedir(dir);
    return rows;
}

// The component's listing of its current folder, read by the listing rules;
// *unread counts the lines they could not read.
inline Rows Listed(quillmar::FtpComponent& ftp, int* unread = nullptr)
{
    Rows rows;
    int notRead = 0;
    const auto connection = QObject::connect(&ftp, &quillmar::FtpComponent::ListEntry, [&](const QString& line) {
        bool lineUnread = false;
        if (const std::optional<quillmar::ListRow> row = quillmar::ReadListLine(line, &lineUnread))
            rows[row->text] = Row{row->folder, row->bytes, row->link};
        notRead += lineUnread;
    });
    ftp.List();
    QObject::disconnect(connection);
    if (unread)
        *unread = notRead;
    return rows;
}
