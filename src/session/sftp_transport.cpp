#include "session/sftp_transport.h"

#include "session/network_waits.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <deque>
#include <functional>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillmar {

namespace {

constexpr uint32_t ReadBlock = 64 * 1024;    // one read request
constexpr std::size_t ReadsInFlight = 16;    // read requests kept waiting at the server
constexpr qint64 WriteBlock = 64 * 1024;     // one write request
constexpr std::size_t WritesInFlight = 16;   // write requests sent before the first answer is read
// Requests libssh 0.10 has no call for, built here (SFTP version 3 and
// OpenSSH's extension).
constexpr uint8_t FxpRead = 5;
constexpr uint8_t FxpWrite = 6;
constexpr uint8_t FxpData = 103;
constexpr uint8_t FxpStatus = 101;
constexpr uint8_t FxpExtended = 200;
constexpr uint32_t FxOk = 0;
constexpr uint32_t FxEof = 1;
constexpr const char* PosixRename = "posix-rename@openssh.com";
constexpr mode_t NewFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH;
constexpr mode_t NewFolderMode = S_IRWXU | S_IRGRP | S_IXGRP | S_IROTH | S_IXOTH;
constexpr int RefusedCode = 550;        // the number a refusal carries, as FTP's would
constexpr int LoginRefusedCode = 530;
// The key files of ~/.ssh tried after the agent, in the order ssh tries them.
constexpr const char* KeyFileNames[] = {"id_ed25519", "id_ecdsa", "id_rsa"};
constexpr int PassphraseTries = 3;

// Frees what libssh hands out when the holder goes.
struct SessionFree { void operator()(ssh_session s) const { ssh_free(s); } };
struct SftpFree { void operator()(sftp_session s) const { sftp_free(s); } };
struct KeyFree { void operator()(ssh_key k) const { ssh_key_free(k); } };
struct AttributesFree { void operator()(sftp_attributes a) const { sftp_attributes_free(a); } };
struct StringFree { void operator()(char* s) const { ssh_string_free_char(s); } };
using Attributes = std::unique_ptr<sftp_attributes_struct, AttributesFree>;

// What an SFTP status says, in words for the person.
QString StatusText(int status)
{
    switch (status) {
    case SSH_FX_NO_SUCH_FILE:
    case SSH_FX_NO_SUCH_PATH:
        return QStringLiteral("there is no such file or folder");
    case SSH_FX_PERMISSION_DENIED:
    case SSH_FX_WRITE_PROTECT:
        return QStringLiteral("permission denied");
    case SSH_FX_FILE_ALREADY_EXISTS:
        return QStringLiteral("the name is taken already");
    case SSH_FX_OP_UNSUPPORTED:
        return QStringLiteral("the server does not support this");
    case SSH_FX_FAILURE:
        return QStringLiteral("the server refused without a reason (a folder that is not empty, or a name that "
                              "is taken, perhaps)");
    default:
        return QStringLiteral("SFTP status %1").arg(status);
    }
}

// The parts of an SFTP packet, in network order.
void AppendU32(QByteArray& to, uint32_t value)
{
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    to.append(bytes, sizeof bytes);
}

void AppendU64(QByteArray& to, uint64_t value)
{
    AppendU32(to, uint32_t(value >> 32));
    AppendU32(to, uint32_t(value));
}

void AppendString(QByteArray& to, QByteArrayView text)
{
    AppendU32(to, uint32_t(text.size()));
    to.append(text.data(), text.size());
}

uint32_t ReadU32(const char* from)
{
    const auto* b = reinterpret_cast<const unsigned char*>(from);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}

// "chacha20-poly1305@openssh.com" is shown as "chacha20-poly1305".
QString CipherFamily(const char* cipher)
{
    const QString name = QString::fromUtf8(cipher ? cipher : "");
    return name.section(u'@', 0, 0);
}

// "/a/b" and "c" make "/a/b/c"; ".." goes up; a path from "/" starts over.
QByteArray JoinPath(const QByteArray& folder, const QByteArray& name)
{
    if (name.startsWith('/'))
        return name;
    return folder.endsWith('/') ? QByteArray(folder + name) : QByteArray(folder + '/' + name);
}

QByteArray ParentOf(const QByteArray& folder)
{
    const qsizetype slash = folder.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : folder.left(slash);
}

// When an entry last changed (UTC, whole seconds as SFTP version 3 has
// them); invalid when the server did not say.
QDateTime ModifiedOf(const sftp_attributes_struct& entry)
{
    if (!(entry.flags & SSH_FILEXFER_ATTR_ACMODTIME))
        return {};
    return QDateTime::fromSecsSinceEpoch(qint64(entry.mtime), Qt::UTC);
}

// A time as SFTP version 3 carries it: unsigned 32-bit seconds, so none
// before 1970 or after 2106 (nothing rather than a time wrapped around).
std::optional<uint32_t> WireSeconds(const QDateTime& time)
{
    if (!time.isValid())
        return std::nullopt;
    const qint64 seconds = time.toSecsSinceEpoch();
    if (seconds < 0 || seconds > qint64(std::numeric_limits<uint32_t>::max()))
        return std::nullopt;
    return uint32_t(seconds);
}

// A machine listing line for one entry: the facts the listing rules read,
// then the name exactly as the server has it.
QByteArray FactLine(const sftp_attributes_struct& entry)
{
    QByteArray type = "file";
    if (entry.type == SSH_FILEXFER_TYPE_DIRECTORY)
        type = "dir";
    else if (entry.type == SSH_FILEXFER_TYPE_SYMLINK)
        type = "OS.unix=slink";
    QByteArray line = "type=" + type + ";size=" + QByteArray::number(quint64(entry.size));
    if (const QDateTime modified = ModifiedOf(entry); modified.isValid())
        line += ";modify=" + modified.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
    return line + "; " + QByteArray(entry.name) + "\r\n";
}

class SftpTransport final : public Transport {
public:
    SftpTransport(std::function<void()> d, TrustQuestion t, PassphraseQuestion p)
        : disconnected(std::move(d)), trust(std::move(t)), passphrase(std::move(p))
    {
        ssh_init();
        // A Stop that keeps the connection ends a transfer between two
        // requests; the component cuts the socket when that does not come soon.
        calls.holdControl(true);
    }
    ~SftpTransport() override { closeAtExit(); }

    std::function<void()> disconnected;
    TrustQuestion trust;
    PassphraseQuestion passphrase;
    NetworkTimeout waits;
    CallAbort calls;   // shared with abort(), which may come from any thread

    // Worker thread only.
    std::unique_ptr<ssh_session_struct, SessionFree> session;
    std::unique_ptr<CallAbort::Socket> abortable;   // the session's socket
    std::unique_ptr<sftp_session_struct, SftpFree> sftp;
    QByteArray folder;          // the current folder, as the server's bytes
    QString serverLabel;
    QString protectionText;
    QHash<QString, QByteArray> rawNames;

    // ---- aborting

    bool isAborted() { return calls.aborted(); }
    void checkAborted() { calls.check(); }
    bool hardAbort() { return calls.aborted() && !calls.controlKept(); }

    void beginCall() override { calls.begin(); }
    void endCall() override { calls.end(); }
    void abort(int number, bool keepControl) override { calls.abort(number, keepControl); }
    // A stopped transfer already ended with the server before its call returned.
    void settleAbort() override {}

    // ---- failures

    FtpError lost(const QString& why = {}) const { return ConnectionLost(serverLabel, why); }

    QString sessionError() const { return session ? QString::fromUtf8(ssh_get_error(session.get())) : QString(); }

    // Whether the connection is still good after a failed request: the
    // server answered with a status, and nobody cut the socket.
    bool stillConnected()
    {
        if (hardAbort())
            return false;
        if (!session || !sftp || !ssh_is_connected(session.get()) || ssh_channel_is_closed(sftp->channel))
            return false;
        const int status = sftp_get_error(sftp.get());
        return status != SSH_FX_NO_CONNECTION && status != SSH_FX_CONNECTION_LOST && status != SSH_FX_BAD_MESSAGE;
    }

    // After a failed request: the server's refusal, or the end of the
    // connection (reported as a disconnect first).
    FtpError failure(const QString& what)
    {
        if (stillConnected()) {
            const QString text = QStringLiteral("%1: %2.").arg(what, StatusText(sftp_get_error(sftp.get())));
            return isAborted() ? calls.failure() : FtpError(RefusedCode, text);
        }
        const FtpError ending = isAborted() ? calls.failure() : lost(sessionError());
        dropConnection();
        return ending;
    }

    void requireSession() const
    {
        if (!sftp)
            throw NoConnection();
    }

    // The bytes of a name of the current folder: those the server listed
    // for one shown from Latin-1, otherwise UTF-8.
    QByteArray pathOf(const QString& name) const
    {
        const auto raw = rawNames.constFind(name);
        return JoinPath(folder, raw != rawNames.cend() ? *raw : name.toUtf8());
    }

    void dropConnection()
    {
        if (!session)
            return;
        abortable.reset();
        sftp.reset();
        ssh_disconnect(session.get());
        session.reset();
        const bool wasConnected = !protectionText.isEmpty();
        protectionText.clear();
        if (wasConnected && disconnected)
            disconnected();
    }

    // ---- connecting

    void applyTimeout()
    {
        if (!session)
            return;
        const long long ms = waits.get().count();
        const long seconds = long(ms / 1000);
        const long micros = long(ms % 1000) * 1000;
        ssh_options_set(session.get(), SSH_OPTIONS_TIMEOUT, &seconds);
        ssh_options_set(session.get(), SSH_OPTIONS_TIMEOUT_USEC, &micros);
    }

    void connect(const FtpLogin& login) override
    {
        dropConnection();
        serverLabel = ServerLabel(login);
        session.reset(ssh_new());
        if (!session)
            throw FtpError(ftp_errors::Network, QStringLiteral("No SSH session could be made."));
        const QByteArray host = login.host.toUtf8();
        const QByteArray user = login.userName.toUtf8();
        const unsigned int port = unsigned(login.port);
        const int noConfig = 0;
        const QByteArray knownHosts = QDir::home().filePath(QStringLiteral(".ssh/known_hosts")).toLocal8Bit();
        ssh_options_set(session.get(), SSH_OPTIONS_HOST, host.constData());
        ssh_options_set(session.get(), SSH_OPTIONS_PORT, &port);
        ssh_options_set(session.get(), SSH_OPTIONS_USER, user.constData());
        ssh_options_set(session.get(), SSH_OPTIONS_PROCESS_CONFIG, &noConfig);
        ssh_options_set(session.get(), SSH_OPTIONS_KNOWNHOSTS, knownHosts.constData());
        applyTimeout();
        try {
            // The socket is made here, where an abort can cut it, and libssh takes it over.
            int fd = ConnectTcp(LookUp(login.host, login.port, waits.get(), calls), serverLabel, waits.get(), calls);
            abortable = std::make_unique<CallAbort::Socket>(calls, fd, false);
            ssh_options_set(session.get(), SSH_OPTIONS_FD, &fd);
            if (ssh_connect(session.get()) != SSH_OK)
                throw isAborted() ? calls.failure()
                                  : FtpError(ftp_errors::Network, QStringLiteral("The SSH server %1 could not be reached: %2")
                                                                      .arg(serverLabel, sessionError()));
            judgeHostKey(login);
            logIn(login);
            timed([&](StallWatch&) { openSftp(); });
        } catch (...) {
            abortable.reset();
            session.reset();
            sftp.reset();
            throw;
        }
        protectionText = QStringLiteral("SSH · ") + CipherFamily(ssh_get_cipher_out(session.get()));
    }

    // A key the person's known_hosts lists goes on silently; anything else
    // is the person's call, by its fingerprint, told when known_hosts lists
    // another key for the server.
    void judgeHostKey(const FtpLogin& login)
    {
        ssh_key raw = nullptr;
        if (ssh_get_server_publickey(session.get(), &raw) != SSH_OK)
            throw lost(QStringLiteral("it showed no host key"));
        const std::unique_ptr<ssh_key_struct, KeyFree> key(raw);
        unsigned char* hash = nullptr;
        std::size_t length = 0;
        if (ssh_get_publickey_hash(key.get(), SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != 0)
            throw lost(QStringLiteral("its host key could not be read"));
        const std::unique_ptr<char, StringFree> printed(ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length));
        ssh_clean_pubkey_hash(&hash);
        const ssh_known_hosts_e known = ssh_session_is_known_server(session.get());
        if (known == SSH_KNOWN_HOSTS_OK)
            return;
        ServerCertificate facts;
        facts.host = login.host;
        facts.port = login.port;
        facts.listedKeyDiffers = known == SSH_KNOWN_HOSTS_CHANGED || known == SSH_KNOWN_HOSTS_OTHER;
        facts.problem = facts.listedKeyDiffers ? QStringLiteral("your known hosts list another key for it")
                                               : QStringLiteral("it is not listed in your known hosts");
        facts.fingerprint = QString::fromLatin1(printed.get());
        facts.keyType = QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(key.get())));
        if (!trust || !trust(facts))
            throw FtpError(ftp_errors::Untrusted,
                           QStringLiteral("The host key of the server %1 was not trusted.").arg(serverLabel));
        checkAborted();
    }

    // With a password: password, then keyboard-interactive. Without one:
    // the person's SSH agent and the keys in ~/.ssh, asking for the
    // passphrase of one the server would take.
    void logIn(const FtpLogin& login)
    {
        const QByteArray password = login.password.toUtf8();
        int result = ssh_userauth_none(session.get(), nullptr);
        const int methods = ssh_userauth_list(session.get(), nullptr);
        const bool byKey = password.isEmpty();
        if (result != SSH_AUTH_SUCCESS && byKey && (methods & SSH_AUTH_METHOD_PUBLICKEY))
            result = ssh_userauth_publickey_auto(session.get(), nullptr, nullptr);
        for (const char* name : KeyFileNames) {
            if (result != SSH_AUTH_SUCCESS && result != SSH_AUTH_ERROR && byKey && (methods & SSH_AUTH_METHOD_PUBLICKEY))
                result = logInWithKeyFile(QDir::home().filePath(QStringLiteral(".ssh/") + QLatin1String(name)));
        }
        if (result != SSH_AUTH_SUCCESS && !byKey && (methods & SSH_AUTH_METHOD_PASSWORD))
            result = ssh_userauth_password(session.get(), nullptr, password.constData());
        if (result != SSH_AUTH_SUCCESS && !byKey && (methods & SSH_AUTH_METHOD_INTERACTIVE))
            result = answerPrompts(password);
        checkAborted();
        if (result == SSH_AUTH_ERROR)
            throw lost(sessionError());
        if (result != SSH_AUTH_SUCCESS)
            throw FtpError(LoginRefusedCode,
                           QStringLiteral("The SSH server %1 refused the login \"%2\" %3.")
                               .arg(serverLabel, login.userName,
                                    byKey ? QStringLiteral("with the keys of your SSH agent and ~/.ssh (no password was given)")
                                          : QStringLiteral("with this password")));
    }

    // A key file of ~/.ssh the server would take (its .pub file says which
    // key it holds), unlocked with its passphrase where it has one. The
    // passphrase is asked for masked, used once and not kept.
    int logInWithKeyFile(const QString& path)
    {
        const QByteArray file = QFile::encodeName(path);
        if (!QFile::exists(path))
            return SSH_AUTH_DENIED;
        ssh_key raw = nullptr;
        if (ssh_pki_import_pubkey_file(QFile::encodeName(path + QStringLiteral(".pub")).constData(), &raw) == SSH_OK) {
            const std::unique_ptr<ssh_key_struct, KeyFree> offered(raw);
            if (ssh_userauth_try_publickey(session.get(), nullptr, offered.get()) != SSH_AUTH_SUCCESS)
                return SSH_AUTH_DENIED;
        }
        for (int tried = 0;; ++tried) {
            std::optional<QString> given;
            if (tried > 0) {
                if (tried > PassphraseTries)
                    throw FtpError(LoginRefusedCode, QStringLiteral("The key %1 could not be unlocked: the passphrase "
                                                                    "was wrong %2 times, so the login was ended.")
                                                         .arg(QDir::toNativeSeparators(path))
                                                         .arg(PassphraseTries));
                if (!passphrase)
                    return SSH_AUTH_DENIED;   // nobody to ask
                given = passphrase(path, tried > 1);
                checkAborted();
                if (!given)
                    throw FtpError(ftp_errors::LoginCancelled,
                                   QStringLiteral("The login to %1 was cancelled: no passphrase was given for the key %2.")
                                       .arg(serverLabel, QDir::toNativeSeparators(path)));
            }
            QByteArray secret = given ? given->toUtf8() : QByteArray();
            raw = nullptr;
            const int imported =
                ssh_pki_import_privkey_file(file.constData(), given ? secret.constData() : nullptr, nullptr, nullptr, &raw);
            secret.fill('\0');
            if (imported == SSH_OK) {
                const std::unique_ptr<ssh_key_struct, KeyFree> key(raw);
                return ssh_userauth_publickey(session.get(), nullptr, key.get());
            }
        }
    }

    // Keyboard-interactive: the password answers every prompt that hides
    // what is typed; prompts that show it get an empty answer.
    int answerPrompts(const QByteArray& password)
    {
        int result = ssh_userauth_kbdint(session.get(), nullptr, nullptr);
        while (result == SSH_AUTH_INFO) {
            const int prompts = ssh_userauth_kbdint_getnprompts(session.get());
            for (int i = 0; i < prompts; ++i) {
                char echo = 0;
                ssh_userauth_kbdint_getprompt(session.get(), unsigned(i), &echo);
                ssh_userauth_kbdint_setanswer(session.get(), unsigned(i), echo ? "" : password.constData());
            }
            result = ssh_userauth_kbdint(session.get(), nullptr, nullptr);
        }
        return result;
    }

    void openSftp()
    {
        sftp.reset(sftp_new(session.get()));
        if (!sftp || sftp_init(sftp.get()) != SSH_OK)
            throw FtpError(ftp_errors::Network,
                           QStringLiteral("The server %1 offers no SFTP: %2").arg(serverLabel, sessionError()));
        const std::unique_ptr<char, StringFree> home(sftp_canonicalize_path(sftp.get(), "."));
        folder = home ? QByteArray(home.get()) : QByteArray("/");
    }

    // ---- folders and entries

    // One exchange under the time-out: libssh would wait for an answer
    // forever, so a watch cuts the connection when a whole time-out passes
    // without one, and the call fails as timed out.
    // A long listing keeps it alive by the bytes it moves.
    template <class Exchange>
    auto timed(Exchange&& exchange) -> decltype(exchange(std::declval<StallWatch&>()))
    {
        StallWatch watch(waits.get());
        std::optional<StallGuard> guard(std::in_place, watch, [this] { calls.cut(); });
        const auto settle = [&] {
            const bool fired = guard->fired();
            guard.reset();
            if (fired)
                dropConnection();
            return fired;
        };
        try {
            if constexpr (std::is_void_v<decltype(exchange(watch))>) {
                exchange(watch);
                settle();
            } else {
                auto result = exchange(watch);
                settle();
                return result;
            }
        } catch (const FtpError&) {
            if (settle())
                throw NoAnswer(serverLabel, waits.get());
            throw;
        }
    }

    void changeFolder(const QString& name) override
    {
        timed([&](StallWatch&) {
            requireSession();
            checkAborted();
            const QByteArray target = name == QLatin1String("..") ? ParentOf(folder) : pathOf(name);
            const Attributes found(sftp_stat(sftp.get(), target.constData()));
            if (!found)
                throw failure(QStringLiteral("The folder %1 cannot be opened").arg(name));
            if (found->type != SSH_FILEXFER_TYPE_DIRECTORY)
                throw FtpError(RefusedCode, QStringLiteral("%1 is not a folder.").arg(name));
            folder = QDir::cleanPath(QString::fromLatin1(target)).toLatin1();
        });
    }

    // The attributes of an entry of the current folder; nothing when the
    // server refuses (no such entry, say), a failure when the connection went.
    Attributes statOf(const QString& name)
    {
        requireSession();
        checkAborted();
        Attributes found(sftp_stat(sftp.get(), pathOf(name).constData()));
        if (!found && !stillConnected())
            throw failure(name);
        return found;
    }

    qint64 sizeOf(const QString& name) override
    {
        return timed([&](StallWatch&) {
            const Attributes found = statOf(name);
            return found && (found->flags & SSH_FILEXFER_ATTR_SIZE) ? qint64(found->size) : qint64(-1);
        });
    }

    QDateTime modifiedTime(const QString& name) override
    {
        return timed([&](StallWatch&) {
            const Attributes found = statOf(name);
            return found ? ModifiedOf(*found) : QDateTime();
        });
    }

    // SFTP sets both times at once: the access time stays as it was.
    bool setModified(const QString& name, const QDateTime& time) override
    {
        const std::optional<uint32_t> seconds = WireSeconds(time);
        if (!seconds)
            return false;
        return timed([&](StallWatch&) {
            const Attributes found = statOf(name);
            if (!found)
                return false;
            sftp_attributes_struct times{};
            times.flags = SSH_FILEXFER_ATTR_ACMODTIME;
            times.atime = (found->flags & SSH_FILEXFER_ATTR_ACMODTIME) ? found->atime : *seconds;
            times.mtime = *seconds;
            if (sftp_setstat(sftp.get(), pathOf(name).constData(), &times) == 0)
                return true;
            if (!stillConnected())
                throw failure(QStringLiteral("The date of %1 could not be set").arg(name));
            return false;
        });
    }

    TransferEnd list(const TransferLocal& local) override
    {
        return timed([&](StallWatch& watch) {
            requireSession();
            checkAborted();
            sftp_dir dir = sftp_opendir(sftp.get(), folder.constData());
            if (!dir)
                throw failure(QStringLiteral("The folder %1 cannot be listed").arg(DecodeServerText(folder)));
            TransferEnd ending = TransferEnd::Complete;
            while (ending == TransferEnd::Complete && !isAborted()) {
                const Attributes entry(sftp_readdir(sftp.get(), dir));
                if (!entry)
                    break;
                const QByteArray name(entry->name);
                // "." and ".." are not rows; a name with a line break cannot be one line.
                if (name == "." || name == ".." || name.contains('\n') || name.contains('\r'))
                    continue;
                const QByteArray line = FactLine(*entry);
                watch.moved(line.size());
                if (!local.take(line.constData(), line.size()))
                    ending = TransferEnd::LocalFailed;
            }
            const bool complete = ending != TransferEnd::Complete || sftp_dir_eof(dir);
            sftp_closedir(dir);
            if (!complete || isAborted())
                throw failure(QStringLiteral("The folder %1 was not listed to the end").arg(DecodeServerText(folder)));
            return ending;
        });
    }

    void removeEntry(const QString& name, bool isFolder)
    {
        timed([&](StallWatch&) {
            requireSession();
            checkAborted();
            const QByteArray path = pathOf(name);
            const int rc = isFolder ? sftp_rmdir(sftp.get(), path.constData()) : sftp_unlink(sftp.get(), path.constData());
            if (rc != 0)
                throw failure(QStringLiteral("%1 could not be removed").arg(name));
        });
    }

    void makeFolder(const QString& name) override
    {
        timed([&](StallWatch&) {
            requireSession();
            checkAborted();
            if (sftp_mkdir(sftp.get(), pathOf(name).constData(), NewFolderMode) != 0)
                throw failure(QStringLiteral("The folder %1 could not be made").arg(name));
        });
    }

    bool tryRename(const QString& from, const QString& to)
    {
        requireSession();
        checkAborted();
        return sftp_rename(sftp.get(), pathOf(from).constData(), pathOf(to).constData()) == 0;
    }

    // Replacing a taken name: in one step where the server offers POSIX
    // rename. Otherwise, as SFTP version 3 renames onto a free name only,
    // the target is removed and the rename tried again, as over FTP.
    void rename(const QString& from, const QString& to, bool replace, bool* targetRemoved) override
    {
        timed([&](StallWatch&) {
            if (replace && sftp_extension_supported(sftp.get(), PosixRename, "1")) {
                posixRename(from, to);
                return;
            }
            if (tryRename(from, to))
                return;
            const QString what = QStringLiteral("%1 could not be renamed to %2").arg(from, to);
            // Only a refusal that may mean the name is taken removes the
            // target: a source gone or a refusal of rights keeps the old copy.
            const int why = sftp_get_error(sftp.get());
            const bool mayBeTaken = why == SSH_FX_FAILURE || why == SSH_FX_FILE_ALREADY_EXISTS;
            if (!replace || !mayBeTaken || !stillConnected())
                throw failure(what);
            if (targetRemoved)
                *targetRemoved = true;
            const bool removed = sftp_unlink(sftp.get(), pathOf(to).constData()) == 0;
            if (targetRemoved)
                *targetRemoved = removed;
            if (!tryRename(from, to))
                throw failure(what);
        });
    }

    void posixRename(const QString& from, const QString& to)
    {
        requireSession();
        checkAborted();
        QByteArray request;
        AppendString(request, PosixRename);
        AppendString(request, pathOf(from));
        AppendString(request, pathOf(to));
        const QString what = QStringLiteral("%1 could not be renamed to %2").arg(from, to);
        const uint32_t status = awaitStatus(sendRequest(FxpExtended, request, what), what);
        if (status != FxOk)
            throw FtpError(RefusedCode, QStringLiteral("%1: %2.").arg(what, StatusText(int(status))));
    }

    // ---- requests of our own on libssh's channel, made only while libssh
    // waits for no answer of its own, and answered before it goes on

    uint32_t sendRequest(uint8_t type, const QByteArray& body, const QString& what)
    {
        const uint32_t id = ++sftp->id_counter;   // as libssh numbers its own
        QByteArray packet;
        AppendU32(packet, uint32_t(1 + 4 + body.size()));
        packet.append(char(type));
        AppendU32(packet, id);
        packet += body;
        if (ssh_channel_write(sftp->channel, packet.constData(), uint32_t(packet.size())) != packet.size())
            throw failure(what);
        return id;
    }

    void readExactly(char* to, uint32_t count, const QString& what)
    {
        for (uint32_t got = 0; got < count;) {
            const int n = ssh_channel_read(sftp->channel, to + got, count - got, 0);
            if (n < 0 || (n == 0 && (ssh_channel_is_eof(sftp->channel) || !ssh_is_connected(session.get()))))
                throw failure(what);
            got += uint32_t(n);
        }
    }

    // The next status answer: the request it answers and its code.
    std::pair<uint32_t, uint32_t> readStatus(const QString& what)
    {
        constexpr uint32_t StatusHead = 1 + 4 + 4;   // type, request, code
        constexpr uint32_t MaxStatus = 64 * 1024;
        char length[4];
        readExactly(length, sizeof length, what);
        const uint32_t size = ReadU32(length);
        if (size < StatusHead || size > MaxStatus) {
            dropConnection();
            throw lost(QStringLiteral("it sent an answer of %1 bytes where a status was due").arg(size));
        }
        std::vector<char> body(size);
        readExactly(body.data(), size, what);
        if (uint8_t(body[0]) != FxpStatus) {
            dropConnection();
            throw lost(QStringLiteral("it sent an answer of type %1 where a status was due").arg(uint8_t(body[0])));
        }
        return {ReadU32(body.data() + 1), ReadU32(body.data() + 5)};
    }

    uint32_t awaitStatus(uint32_t id, const QString& what)
    {
        const auto [answered, status] = readStatus(what);
        if (answered != id) {
            dropConnection();
            throw lost(QStringLiteral("it answered request %1 where %2 was due").arg(answered).arg(id));
        }
        return status;
    }

    // ---- transfers

    // A remote file open for one transfer; closed unless the connection
    // went first (its session took the handle with it).
    struct OpenFile {
        SftpTransport& impl;
        sftp_file file = nullptr;
        sftp_session owner = impl.sftp.get();
        ~OpenFile()
        {
            if (file && impl.sftp.get() == owner)
                sftp_close(file);
        }
        // The server's handle, which our own read and write requests name.
        QByteArrayView handle() const
        {
            return {static_cast<const char*>(ssh_string_data(file->handle)), qsizetype(ssh_string_len(file->handle))};
        }
    };

    // A transfer under the stall watch. libssh waits on its own, so a
    // thread of the watch cuts the connection once fewer than StallBytes
    // move in a time-out; the transfer then ends as stalled, its connection
    // gone (SFTP cannot call back one request and keep the rest).
    TransferEnd watched(const std::function<TransferEnd(StallWatch&)>& transfer)
    {
        StallWatch watch(waits.get());
        std::optional<TransferEnd> ending;
        bool stalled = false;
        {
            const StallGuard guard(watch, [this] { calls.cut(); });
            try {
                ending = transfer(watch);
            } catch (const FtpError&) {
                if (!guard.fired())
                    throw;
            }
            stalled = guard.fired();
        }
        if (stalled)
            dropConnection();
        return ending.value_or(TransferEnd::Stalled);
    }

    TransferEnd get(const QString& name, const TransferLocal& local) override
    {
        requireSession();
        checkAborted();
        return watched([&](StallWatch& watch) { return download(name, 0, local, watch); });
    }

    // Any read may start anywhere, so every server goes on part-way.
    std::optional<TransferEnd> getFrom(const QString& name, qint64 offset, const TransferLocal& local) override
    {
        requireSession();
        checkAborted();
        return watched([&](StallWatch& watch) { return download(name, offset, local, watch); });
    }

    // Several read requests wait at the server at once; a short answer
    // (allowed before the end) has the requests after it asked again from
    // where it stopped. As for uploads, the requests are our own on libssh's
    // channel: its reads copy each answer several times over in small pieces.
    TransferEnd download(const QString& name, qint64 offset, const TransferLocal& local, StallWatch& watch)
    {
        OpenFile source{*this, sftp_open(sftp.get(), pathOf(name).constData(), O_RDONLY, 0)};
        const QString what = QStringLiteral("%1 could not be downloaded").arg(name);
        if (!source.file)
            throw failure(what);
        const QByteArrayView handle = source.handle();
        std::vector<char> block(ReadBlock);
        std::deque<uint32_t> pending;
        qint64 requested = offset;
        qint64 total = 0;   // from offset on
        bool ended = false;
        // Reads the answers still due, so libssh finds none of ours.
        const auto drain = [&] {
            for (const uint32_t id : pending) {
                try {
                    readData(id, block, what);
                } catch (const FtpError& e) {
                    if (e.number != RefusedCode)
                        throw;
                }
            }
            pending.clear();
        };
        for (;;) {
            while (!ended && pending.size() < ReadsInFlight) {
                QByteArray request;
                AppendString(request, handle);
                AppendU64(request, uint64_t(requested));
                AppendU32(request, ReadBlock);
                pending.push_back(sendRequest(FxpRead, request, what));
                requested += ReadBlock;
            }
            if (pending.empty())
                break;
            const uint32_t id = pending.front();
            pending.pop_front();
            std::optional<uint32_t> got;
            try {
                got = readData(id, block, what);
            } catch (const FtpError& e) {
                if (e.number == RefusedCode)
                    drain();
                throw;
            }
            if (!got) {
                ended = true;
                continue;
            }
            watch.moved(*got);
            if (!local.take(block.data(), *got)) {
                drain();
                return TransferEnd::LocalFailed;
            }
            total += *got;
            if (local.progress)
                local.progress(total);
            if (isAborted()) {
                drain();
                throw calls.failure();
            }
            if (*got < ReadBlock && !ended) {
                drain();
                requested = offset + total;
            }
        }
        return TransferEnd::Complete;
    }

    // The answer to read request id: its bytes in block, or nothing at the
    // end of the file. Any other status is a refusal, thrown once the
    // connection is ready for the next request.
    std::optional<uint32_t> readData(uint32_t id, std::vector<char>& block, const QString& what)
    {
        char head[4 + 1 + 4];   // length, type, request
        readExactly(head, sizeof head, what);
        const uint32_t size = ReadU32(head);
        const uint8_t type = uint8_t(head[4]);
        if (ReadU32(head + 5) != id || size < 5 || (type != FxpData && type != FxpStatus)) {
            dropConnection();
            throw lost(QStringLiteral("it sent an answer that does not fit read request %1").arg(id));
        }
        if (type == FxpData) {
            char count[4];
            readExactly(count, sizeof count, what);
            const uint32_t n = ReadU32(count);
            if (n > block.size() || n + 4 + 5 != size) {
                dropConnection();
                throw lost(QStringLiteral("it sent %1 bytes where at most %2 were asked for").arg(n).arg(block.size()));
            }
            readExactly(block.data(), n, what);
            return n;
        }
        std::vector<char> rest(size - 5);
        if (rest.size() < 4 || rest.size() > 64 * 1024) {
            dropConnection();
            throw lost(QStringLiteral("it sent a status of %1 bytes").arg(size));
        }
        readExactly(rest.data(), uint32_t(rest.size()), what);
        const uint32_t status = ReadU32(rest.data());
        if (status == FxEof)
            return std::nullopt;
        throw FtpError(RefusedCode, QStringLiteral("%1: %2.").arg(what, StatusText(int(status))));
    }

    TransferEnd put(const TransferLocal& local, const QString& name) override
    {
        requireSession();
        checkAborted();
        return watched([&](StallWatch& watch) { return upload(local, name, watch); });
    }

    // Several writes travel before the first answer is read, as reads do
    // on a download; libssh 0.10 writes one request at a time, so these are
    // sent on its channel directly, and all answered before it goes on.
    TransferEnd upload(const TransferLocal& local, const QString& name, StallWatch& watch)
    {
        OpenFile target{*this, sftp_open(sftp.get(), pathOf(name).constData(), O_WRONLY | O_CREAT | O_TRUNC, NewFileMode)};
        const QString what = QStringLiteral("%1 could not be uploaded").arg(name);
        if (!target.file)
            throw failure(what);
        const QByteArrayView handle = target.handle();
        std::vector<char> block(WriteBlock);
        std::deque<std::pair<uint32_t, qint64>> pending;   // request, bytes
        std::optional<uint32_t> refusal;
        qint64 sent = 0;
        qint64 stored = 0;
        // Reads the oldest answer; a refusal is kept until all are read.
        const auto settleOne = [&] {
            const auto [id, bytes] = pending.front();
            pending.pop_front();
            const uint32_t status = awaitStatus(id, what);
            if (status != FxOk && !refusal)
                refusal = status;
            stored += bytes;
            watch.moved(bytes);
            if (local.progress)
                local.progress(stored);
        };
        const auto settleAll = [&] {
            while (!pending.empty())
                settleOne();
        };
        bool filling = true;
        while (filling || !pending.empty()) {
            while (filling && pending.size() < WritesInFlight) {
                const qint64 filled = local.fill(block.data(), WriteBlock);
                if (filled < 0) {
                    settleAll();
                    return TransferEnd::LocalFailed;
                }
                filling = filled > 0;
                if (!filling)
                    break;
                QByteArray request;
                AppendString(request, handle);
                AppendU64(request, uint64_t(sent));
                AppendString(request, QByteArrayView(block.data(), filled));
                pending.emplace_back(sendRequest(FxpWrite, request, what), filled);
                sent += filled;
            }
            if (!pending.empty())
                settleOne();
            if (refusal || isAborted()) {
                settleAll();
                if (refusal)
                    throw FtpError(RefusedCode, QStringLiteral("%1: %2.").arg(what, StatusText(int(*refusal))));
                throw calls.failure();
            }
        }
        const int closed = sftp_close(std::exchange(target.file, nullptr));
        if (closed != SSH_OK)
            throw failure(QStringLiteral("%1 was not stored completely").arg(name));
        return TransferEnd::Complete;
    }

    // ---- between calls

    // A server that hung up, or a connection that broke, ends it here.
    void watchIdle() override
    {
        if (!sftp)
            return;
        pollfd wait{ssh_get_fd(session.get()), POLLIN, 0};
        if (::poll(&wait, 1, 0) <= 0)
            return;
        const int rc = ssh_channel_poll(sftp->channel, 0);
        if (rc == SSH_ERROR || rc == SSH_EOF || !ssh_is_connected(session.get()))
            dropConnection();
    }

    void quit() override
    {
        if (session && sftp)
            ssh_channel_send_eof(sftp->channel);
        dropConnection();
    }

    void closeAtExit() override
    {
        protectionText.clear();   // nobody is left to tell
        dropConnection();
    }

    // ---- the rest of the seam

    void setTimeout(std::chrono::milliseconds timeout) override
    {
        waits.set(timeout);
        applyTimeout();
    }

    bool connected() const override { return sftp && !protectionText.isEmpty(); }
    QString protection() const override { return protectionText; }
    QString currentFolder() override { return DecodeServerText(folder); }
    void remove(const QString& name) override { removeEntry(name, false); }
    void removeFolder(const QString& name) override { removeEntry(name, true); }
    void setRawNames(QHash<QString, QByteArray> names) override { rawNames = std::move(names); }

    FtpReply command(const QString& line) override
    {
        throw FtpError(ftp_errors::FtpOnly,
                       QStringLiteral("\"%1\" is an FTP command; it can be sent only to FTP servers, and this is an "
                                      "SFTP connection.")
                           .arg(line.section(u' ', 0, 0)));
    }
};

}  // namespace

std::unique_ptr<Transport> MakeSftpTransport(std::function<void()> disconnected, TrustQuestion trust,
                                             PassphraseQuestion passphrase)
{
    return std::make_unique<SftpTransport>(std::move(disconnected), std::move(trust), std::move(passphrase));
}

}  // namespace quillmar

// The entry the program resolves when it first loads this module.
extern "C" Q_DECL_EXPORT std::unique_ptr<quillmar::Transport> quillmar_make_transport(
    const QString& /*scheme*/, std::function<void()> disconnected, quillmar::TrustQuestion trust,
    quillmar::PassphraseQuestion passphrase)
{
    return quillmar::MakeSftpTransport(std::move(disconnected), std::move(trust), std::move(passphrase));
}
static_assert(std::is_same_v<decltype(&quillmar_make_transport), quillmar::TransportFactory>);
