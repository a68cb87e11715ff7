// SFTP sites against a real OpenSSH sshd on loopback (throw-away host key and
// account, started by the tests): host keys asked about, pinned and
// refused when changed; refusals, Stop and stalls. Every command on awkward
// names runs in the interoperability tests.

#include "session/ftp_component.h"
#include "session/transport.h"
#include "shell/form1.h"
#include "support/ftp_daemon_fixture.h"
#include "support/qt_printers.h"
#include "support/raw_files.h"
#include "support/support_script.h"
#include "support/window_helpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

using namespace quillmar;
using namespace quillmar::test;

namespace {

// Longer than one read of a download.
const QByteArray kFileName = "a  b.txt";
const QByteArray kFileContent = ContentOf(kFileName, 70000);
constexpr qint64 kLargeSize = qint64(1) << 30;   // sparse on the server's disk
constexpr qint64 kStopAfter = qint64(2) * 1024 * 1024;

// A new ed25519 key at path (its public half at path.pub), locked by phrase.
bool MakeKey(const QString& path, const QString& phrase = QString(), const QString& type = QStringLiteral("ed25519"))
{
    QProcess keygen;
    keygen.start(QStringLiteral("ssh-keygen"), {"-q", "-t", type, "-N", phrase, "-f", path});
    return keygen.waitForFinished() && keygen.exitCode() == 0;
}

// An environment variable set (a null value: unset) until this goes.
struct ScopedVariable {
    ScopedVariable(const char* name, const QByteArray& value) : name(name), saved(qgetenv(name))
    {
        value.isNull() ? void(qunsetenv(name)) : void(qputenv(name, value));
    }
    ~ScopedVariable() { qputenv(name, saved); }
    const char* name;
    QByteArray saved;
};

bool MakeSparse(const QByteArray& path)
{
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::WriteOnly) && file.resize(kLargeSize);
}

// A throw-away sshd over a home folder of a file, an empty file and a folder.
class SshServer : public FtpDaemonFixture {
public:
    explicit SshServer(int port = 0, const QString& authorizedKey = {}) : FtpDaemonFixture(QStringLiteral("sshd"))
    {
        authorize(authorizedKey);
        WriteRaw(In(root(), kFileName), kFileContent);
        WriteRaw(In(root(), "empty.txt"), {});
        ::mkdir(In(root(), "realdir").constData(), 0755);
        WriteRaw(root() + "/realdir/inside.txt", "inside");
        started_ = start(&error_, port);
    }

    bool started() const { return started_; }
    std::string error() const { return error_.toStdString(); }
    QString url() const { return QStringLiteral("sftp://127.0.0.1:%1").arg(port()); }
    QByteArray root() const { return QFile::encodeName(FtpDaemonFixture::root()); }
    QString publicKey() const { return work() + QStringLiteral("/host_key.pub"); }
    // "SHA256:..." as ssh-keygen -lf prints it.
    QString fingerprint() const
    {
        QProcess keygen;
        keygen.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), publicKey()});
        keygen.waitForFinished();
        return QString::fromUtf8(keygen.readAllStandardOutput()).section(u' ', 1, 1);
    }

private:
    QString error_;
    bool started_ = false;
};

#define REQUIRE_ROOT()                                   \
    if (::geteuid() != 0)                                \
        GTEST_SKIP() << "a throw-away sshd needs root";

// The component logged in, the host key taken on trust; without a password
// the login goes by key.
void LogIn(FtpComponent& ftp, const SshServer& server, const QString& password)
{
    ftp.setTrustQuestion([](const ServerCertificate& key) { return !key.keyType.isEmpty(); });
    Connect(ftp, server.port(), password, server.user(), QStringLiteral("sftp://"));
}

// Without the password the login goes by key.
void ConnectWindow(WindowRig& rig, const SshServer& server, bool withPassword = true)
{
    rig.presetStore({{QStringLiteral("URL"), server.url()}, {QStringLiteral("User"), server.user()},
                     {QStringLiteral("Pass"), withPassword ? server.password() : QString()}});
    rig.open().Connect();
}

TEST(SftpHostKeys, AskedOnceByFingerprintPinnedAndAChangedKeyIsRefusedByDefault)
{
    REQUIRE_ROOT();
    auto server = std::make_unique<SshServer>();
    ASSERT_TRUE(server->started()) << server->error();
    const QString first = server->fingerprint();
    ASSERT_TRUE(first.startsWith(QStringLiteral("SHA256:"))) << first.toStdString();

    WindowRig rig;
    ConnectWindow(rig, *server);
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1) << rig.dialogs.messageTexts().join(u'|').toStdString();
    const QString question = rig.dialogs.messageTexts().first();
    EXPECT_TRUE(question.contains(first) && question.contains(QStringLiteral("ssh-ed25519")) &&
                question.contains(QStringLiteral("127.0.0.1")))
        << question.toStdString();
    EXPECT_EQ(rig.dialogs.calls().first().buttons, Dialogs::Buttons::YesNo);
    EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
    EXPECT_TRUE(rig.panel(5).startsWith(QStringLiteral("SSH · ")) && rig.panel(5).size() > 6) << rig.panel(5).toStdString();
    rig.close();

    // The same address with a new host key.
    const int port = server->port();
    server.reset();
    server = std::make_unique<SshServer>(port);
    ASSERT_TRUE(server->started()) << server->error();
    const QString second = server->fingerprint();
    ASSERT_NE(first, second);
    rig.dialogs.clear();   // nothing queued: the question takes its default
    ConnectWindow(rig, *server);
    ASSERT_EQ(rig.dialogs.messageTexts().size(), 1) << rig.dialogs.messageTexts().join(u'|').toStdString();
    const QString changed = rig.dialogs.messageTexts().first();
    EXPECT_TRUE(changed.contains(QStringLiteral("changed")) && changed.contains(first) && changed.contains(second))
        << changed.toStdString();
    const ScriptedDialogs::Call& asked = rig.dialogs.calls().first();
    EXPECT_EQ(asked.kind, ScriptedDialogs::Kind::Question);
    EXPECT_EQ(asked.defaultAnswer, Dialogs::Answer::No);
    EXPECT_EQ(asked.icon, Dialogs::Icon::Warning);
    EXPECT_EQ(rig.form->ftp().State(), 0);
    EXPECT_NE(rig.panel(2), QStringLiteral("Connected"));
}

// A key other than the one the person's known_hosts lists for the server,
// of the same type or another: warned of and refused by default, never
// taken for a key seen for the first time.
TEST(SftpHostKeys, AKeyOtherThanKnownHostsListsIsWarnedOfAndRefusedByDefault)
{
    REQUIRE_ROOT();
    SshServer server;
    ASSERT_TRUE(server.started()) << server.error();
    for (const char* type : {"ed25519", "ecdsa"}) {
        SCOPED_TRACE(type);
        QTemporaryDir home;
        ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral(".ssh")));
        const QString other = home.filePath(QStringLiteral("other"));
        ASSERT_TRUE(MakeKey(other, {}, QLatin1String(type)));
        const QByteArray listed = "[127.0.0.1]:" + QByteArray::number(server.port()) + ' ' +
                                  ReadRaw(QFile::encodeName(other + QStringLiteral(".pub")));
        ASSERT_TRUE(WriteRaw(QFile::encodeName(home.filePath(QStringLiteral(".ssh/known_hosts"))), listed));
        const ScopedVariable homeHere("HOME", QFile::encodeName(home.path()));

        WindowRig rig;   // nothing queued: the question takes its default
        ConnectWindow(rig, server);
        ASSERT_EQ(rig.dialogs.calls().size(), 1) << rig.dialogs.messageTexts().join(u'|').toStdString();
        const ScriptedDialogs::Call& asked = rig.dialogs.calls().first();
        EXPECT_TRUE(asked.text.contains(QStringLiteral("known hosts")) && asked.text.contains(server.fingerprint()))
            << asked.text.toStdString();
        EXPECT_EQ(asked.kind, ScriptedDialogs::Kind::Question);
        EXPECT_EQ(asked.defaultAnswer, Dialogs::Answer::No);
        EXPECT_EQ(asked.icon, Dialogs::Icon::Warning);
        EXPECT_EQ(rig.form->ftp().State(), 0);
    }
}

TEST(SftpLogin, WithoutAPasswordTheAgentsKeyLogsIn)
{
    REQUIRE_ROOT();
    QTemporaryDir keys;
    const QString key = keys.filePath(QStringLiteral("id"));
    ASSERT_TRUE(MakeKey(key));
    SshServer server(0, key + QStringLiteral(".pub"));
    ASSERT_TRUE(server.started()) << server.error();
    const QString socket = keys.filePath(QStringLiteral("agent.sock"));
    QProcess agent;   // a throw-away ssh-agent in the foreground, ended with the test
    agent.start(QStringLiteral("ssh-agent"), {QStringLiteral("-D"), QStringLiteral("-a"), socket});
    ASSERT_TRUE(agent.waitForReadyRead()) << "ssh-agent did not start";   // it speaks once its socket is there
    const ScopedVariable agentHere("SSH_AUTH_SOCK", QFile::encodeName(socket));
    {
        SCOPED_TRACE("an empty agent: refused, and the message says keys were tried");
        FtpComponent ftp;
        const FtpError e = FailureOf([&] { LogIn(ftp, server, QString()); });
        EXPECT_EQ(e.number, 530);
        EXPECT_TRUE(e.description.contains(QStringLiteral("SSH agent"))) << e.description.toStdString();
    }
    ASSERT_EQ(QProcess::execute(QStringLiteral("ssh-add"), {key}), 0) << "the key went into the agent";
    FtpComponent ftp;
    LogIn(ftp, server, QString());
    EXPECT_EQ(ftp.State(), 1);
    EXPECT_EQ(Listed(ftp), RowsOnDisk(server.root()));
    agent.kill();
    agent.waitForFinished();
}

// The component itself, logged in.
class SftpSite : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_ROOT();
        server = std::make_unique<SshServer>();
        ASSERT_TRUE(server->started()) << server->error();
        LogIn(ftp, *server, server->password());
    }

    QByteArray root() const { return server->root(); }

    std::unique_ptr<SshServer> server;
    FtpComponent ftp;
    QTemporaryDir local;
};

TEST_F(SftpSite, RefusalsKeepTheConnectionAndAServerGoingAwayIsNoticedWithoutACall)
{
    const std::tuple<const char*, std::function<void()>, int, const char*> cases[] = {   // number, says
        {"missing file", [&] { ftp.GetFile(QStringLiteral("missing.txt"), local.filePath(QStringLiteral("m"))); }, 550,
         "no such file"},
        {"missing folder", [&] { ftp.ChangeDir(QStringLiteral("missing")); }, 550, "no such file"},
        {"a file as folder", [&] { ftp.ChangeDir(QStringLiteral("empty.txt")); }, 550, "not a folder"},
        {"folder not empty", [&] { ftp.RemoveDir(QStringLiteral("realdir")); }, 550, "realdir"},
        {"raw command", [&] { ftp.setCommand(QStringLiteral("SITE CHMOD 600 a")); ftp.SendCommand(); },
         ftp_errors::FtpOnly, "only to FTP"},
    };
    for (const auto& [what, call, number, says] : cases) {
        SCOPED_TRACE(what);
        const FtpError e = FailureOf(call);
        EXPECT_EQ(e.number, number) << e.description.toStdString();
        EXPECT_TRUE(e.description.contains(QLatin1String(says))) << e.description.toStdString();
        EXPECT_EQ(ftp.State(), 1);
    }
    EXPECT_EQ(ftp.CurrentFolder(), QString::fromLatin1(root())) << "a refused folder change stays where it was";
    EXPECT_EQ(ftp.SizeOf(QStringLiteral("missing.txt")), -1);
    FtpComponent stranger;
    const FtpError e = FailureOf([&] { LogIn(stranger, *server, QStringLiteral("not the password")); });
    EXPECT_EQ(e.number, 530);
    EXPECT_TRUE(e.description.contains(server->user())) << e.description.toStdString();
    EXPECT_EQ(stranger.State(), 0);
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden).size(), 0) << "no part file is left";

    // The server goes away: noticed as a disconnect without a call; the next
    // call tries to come back and finds no server.
    QSignalSpy states(&ftp, &FtpComponent::StateChanged);
    server.reset();
    ASSERT_TRUE(states.count() > 0 || states.wait(10000)) << "no disconnect noticed";
    EXPECT_EQ(states.last().first().toInt(), 0);
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_EQ(FailureOf([&] { ftp.List(); }).number, ftp_errors::Network);
    EXPECT_EQ(ftp.State(), 0);
}

// Sends sig to the processes of an account (its SSH sessions); whether it had any.
bool SignalAccount(const QString& user, int sig)
{
    QProcess pgrep;
    pgrep.start(QStringLiteral("pgrep"), {QStringLiteral("-u"), user});
    pgrep.waitForFinished();
    const QStringList pids = QString::fromLatin1(pgrep.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& pid : pids)
        ::kill(pid.toInt(), sig);
    return !pids.isEmpty();
}

// The processes of an account held still (SIGSTOP) until this goes: a
// server that keeps its connection open and moves nothing.
struct Frozen {
    explicit Frozen(const QString& user) : user(user), any(SignalAccount(user, SIGSTOP)) {}
    ~Frozen() { SignalAccount(user, SIGCONT); }
    QString user;
    bool any;
};

TEST_F(SftpSite, StopAndAServerThatStopsAnsweringEndTransfersLeavingNothingBehind)
{
    ASSERT_TRUE(MakeSparse(In(root(), "large.bin")));
    const QString localLarge = local.filePath(QStringLiteral("large.bin"));
    const QString localUp = local.filePath(QStringLiteral("up.bin"));
    ASSERT_TRUE(MakeSparse(QFile::encodeName(localUp)));
    const auto serverBefore = RowsOnDisk(root());
    ftp.setResumePolicy(0, std::chrono::milliseconds(0));   // a new connection would not be held still
    ftp.setTimeout(std::chrono::seconds(2));
    // Two MiB in, the person stops or the server stops answering; or the
    // server is silent from the start.
    enum Ending { Stop, Stall, Silent };
    const std::tuple<const char*, Ending, std::function<void()>, const char*> cases[] = {   // the call, says
        {"download stopped", Stop, [&] { ftp.GetFile(QStringLiteral("large.bin"), localLarge); }, ""},
        {"upload over the server's copy stopped", Stop, [&] { ftp.PutFile(localUp, QStringLiteral("large.bin")); }, ""},
        {"download stalled", Stall, [&] { ftp.GetFile(QStringLiteral("large.bin"), localLarge); }, "fewer than 1024 bytes"},
        {"upload stalled", Stall, [&] { ftp.PutFile(localUp, QStringLiteral("up.bin")); }, "fewer than 1024 bytes"},
        {"change folder unanswered", Silent, [&] { ftp.ChangeDir(QStringLiteral("realdir")); }, "did not answer within 2 seconds"},
    };
    for (const auto& [what, ending, call, says] : cases) {
        SCOPED_TRACE(what);
        if (ftp.State() == 0)
            ftp.setAction(FtpComponent::Connect);
        std::unique_ptr<Frozen> frozen;
        if (ending == Silent)
            frozen = std::make_unique<Frozen>(server->user());
        const auto watch = QObject::connect(&ftp, &FtpComponent::Progress, [&](qint64 bytes) {
            if (bytes < kStopAfter || frozen)
                return;
            if (ending == Stop)
                ftp.Stop();
            else
                frozen = std::make_unique<Frozen>(server->user());
        });
        const FtpError e = FailureOf(call);
        QObject::disconnect(watch);
        EXPECT_TRUE(e.description.contains(QLatin1String(says))) << e.description.toStdString();
        EXPECT_FALSE(QFile::exists(localLarge)) << "a download ended early leaves no file";
        if (ending == Stop) {
            EXPECT_EQ(e.number, ftp_errors::Stopped) << e.description.toStdString();
            EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"up.bin"});
            EXPECT_EQ(ftp.State(), 1);
            EXPECT_EQ(Listed(ftp), serverBefore) << "no part or temporary file on the server";
            EXPECT_EQ(RowsOnDisk(root()), serverBefore);
            continue;
        }
        ASSERT_TRUE(frozen && frozen->any) << "the session's processes were not found";
        EXPECT_EQ(e.number, ftp_errors::TimedOut) << e.description.toStdString();
        EXPECT_EQ(ftp.State(), 0);
    }
}

// The host key is in the known_hosts file: trusted without asking, and the
// file is not written; the key to log in with is locked by a passphrase.
TEST(SftpLogin, AKnownHostIsTrustedAndALockedKeyAsksForItsPassphraseMaskedAgainWhenWrongAndCancelEndsTheLogin)
{
    REQUIRE_ROOT();
    const QString phrase = QStringLiteral("open sesame 7");
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral(".ssh")));
    const QString key = home.filePath(QStringLiteral(".ssh/id_ed25519"));
    ASSERT_TRUE(MakeKey(key, phrase));
    SshServer server(0, key + QStringLiteral(".pub"));
    ASSERT_TRUE(server.started()) << server.error();
    const QByteArray knownHosts = QFile::encodeName(home.filePath(QStringLiteral(".ssh/known_hosts")));
    const QByteArray known = "[127.0.0.1]:" + QByteArray::number(server.port()) + ' ' + ReadRaw(QFile::encodeName(server.publicKey()));
    ASSERT_TRUE(WriteRaw(knownHosts, known));
    const ScopedVariable homeHere("HOME", QFile::encodeName(home.path())), noAgent("SSH_AUTH_SOCK", QByteArray());

    WindowRig rig;
    rig.dialogs.queuePassword(QStringLiteral("not it"));
    rig.dialogs.queuePassword(phrase);
    ConnectWindow(rig, server, false);
    const QList<ScriptedDialogs::Call> asked = rig.dialogs.calls();
    ASSERT_EQ(asked.size(), 2) << rig.dialogs.messageTexts().join(u'|').toStdString();
    EXPECT_TRUE(asked[0].kind == ScriptedDialogs::Kind::Password && asked[0].text.contains(key) &&
                !asked[0].text.contains(QStringLiteral("did not unlock")))
        << asked[0].text.toStdString();
    EXPECT_TRUE(asked[1].kind == ScriptedDialogs::Kind::Password && asked[1].text.contains(QStringLiteral("did not unlock")))
        << asked[1].text.toStdString();
    EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
    rig.close();
    EXPECT_EQ(QProcess::execute(QStringLiteral("grep"), {"-rqF", "--", phrase, rig.appFolder.path(), rig.configFolder.path()}), 1)
        << "the passphrase was stored";

    rig.dialogs.clear();   // nothing queued: the masked box is cancelled
    ConnectWindow(rig, server, false);
    const QList<ScriptedDialogs::Call> told = rig.dialogs.calls();
    ASSERT_EQ(told.size(), 2) << rig.dialogs.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(told[0].kind, ScriptedDialogs::Kind::Password);
    EXPECT_NE(rig.panel(2), QStringLiteral("Connected"));
    EXPECT_TRUE(told[1].text.contains(QStringLiteral("cancelled")) && told[1].text.contains(key)) << told[1].text.toStdString();
    EXPECT_EQ(ReadRaw(knownHosts), known);
}

// The date Publish Folder compares and a kept download is matched by: what
// is set is what the server tells and the disk holds (the listing's date is
// checked against the disk in the interoperability tests).
TEST_F(SftpSite, TheDateOfAFileIsSetAndToldAlike)
{
    const QString name = QStringLiteral("dated.txt");
    const QString onDisk = QFile::decodeName(In(root(), "dated.txt"));
    ASSERT_TRUE(WriteFile(local.filePath(name), "dated"));
    ftp.PutFile(local.filePath(name), name);
    const qint64 readBefore = QFileInfo(onDisk).lastRead().toSecsSinceEpoch();   // what SFTP carries
    const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC);
    ASSERT_TRUE(ftp.SetModified(name, when));
    EXPECT_EQ(ftp.ModifiedTime(name), when);
    EXPECT_EQ(QFileInfo(onDisk).lastModified(), when);
    EXPECT_EQ(QFileInfo(onDisk).lastRead().toSecsSinceEpoch(), readBefore) << "the access time is kept";

    // Times SFTP cannot carry are not wrapped around into others.
    for (const QDateTime& beyond : {QDateTime(QDate(1969, 12, 31), QTime(23, 0), Qt::UTC),
                                    QDateTime(QDate(2107, 1, 1), QTime(0, 0), Qt::UTC), QDateTime()}) {
        SCOPED_TRACE(beyond.toString(Qt::ISODate).toStdString());
        EXPECT_FALSE(ftp.SetModified(name, beyond));
        EXPECT_EQ(ftp.ModifiedTime(name), when);
    }
    EXPECT_FALSE(ftp.SetModified(QStringLiteral("missing.txt"), when));
    EXPECT_EQ(ftp.State(), 1);
}

// A kept part goes on from where it ends, across the boundaries of the
// reads a download sends.
TEST_F(SftpSite, ADownloadGoesOnFromAnyByte)
{
    const QByteArray& bytes = kFileContent;
    const auto t = MakeTransport(QStringLiteral("sftp"), {}, [](const ServerCertificate&) { return true; });
    t->connect({QStringLiteral("127.0.0.1"), server->port(), server->user(), server->password(), QStringLiteral("sftp")});
    for (const qint64 offset : {qint64(1), qint64(64 * 1024 - 1), qint64(64 * 1024), bytes.size() - 1, bytes.size()}) {
        SCOPED_TRACE(offset);
        QByteArray received;
        const auto ending =
            t->getFrom(Shown(kFileName), offset, {[&](const char* p, qint64 n) { received.append(p, n); return true; }, {}, {}});
        ASSERT_TRUE(ending.has_value());
        EXPECT_EQ(*ending, TransferEnd::Complete);
        EXPECT_TRUE(received == bytes.mid(offset)) << received.size();
    }
    t->quit();
}

// A download cut off by a server that went away keeps its part, and a new
// component told yes goes on from it: the server's first bytes, changed
// under the same size and date, are not fetched again.
TEST_F(SftpSite, AKeptDownloadGoesOnInANewComponent)
{
    const QByteArray remote = In(root(), "large.bin");
    ASSERT_TRUE(MakeSparse(remote));
    const QString target = local.filePath(QStringLiteral("large.bin"));
    ftp.setResumePolicy(0, std::chrono::milliseconds(0));
    bool cut = false;
    const auto killer = QObject::connect(&ftp, &FtpComponent::Progress, [&](qint64 bytes) {
        if (bytes >= kStopAfter && !cut)
            cut = SignalAccount(server->user(), SIGKILL);
    });
    const FtpError e = FailureOf([&] { ftp.GetFile(QStringLiteral("large.bin"), target); });
    QObject::disconnect(killer);
    ASSERT_TRUE(cut) << "the session's processes were not found";
    EXPECT_TRUE(e.description.contains(QLatin1String("is kept"))) << e.description.toStdString();

    const QByteArray changed = "changed";
    QFile changing(QFile::decodeName(remote));
    const QDateTime dated = QFileInfo(changing).lastModified();
    ASSERT_TRUE(changing.open(QIODevice::ReadWrite) && changing.write(changed) == changed.size() && changing.flush());
    ASSERT_TRUE(changing.setFileTime(dated, QFileDevice::FileModificationTime));

    FtpComponent again;
    qint64 offered = 0;
    again.setResumeQuestion([&](const QString&, qint64 have, qint64) { return (offered = have) > 0; });
    LogIn(again, *server, server->password());
    again.GetFile(QStringLiteral("large.bin"), target);
    EXPECT_GE(offered, kStopAfter);
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.size(), kLargeSize);
    EXPECT_EQ(file.read(changed.size()), QByteArray(changed.size(), '\0')) << "the kept part was fetched again";
}

}  // namespace

// A server without POSIX rename (SFTP version 3 as written), which refuses a
// rename onto a taken name: an upload over an existing file removes the old
// copy only when the refusal may mean the name is taken; a temporary file
// gone or a refusal of rights leaves it.
TEST(SftpVersion3, AnUploadOverATakenNameRemovesTheOldCopyOnlyForThatRefusal)
{
    const QByteArray bytes = RandomBytes(100000);
    const std::tuple<const char*, int, bool> cases[] = {   // the server's answer to every rename, arrives
        {"the name is taken", 0, true},
        {"the upload is gone", 2, false},       // SSH_FX_NO_SUCH_FILE
        {"renames are forbidden", 3, false},    // SSH_FX_PERMISSION_DENIED
    };
    for (const auto& [name, refusal, arrives] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir root, local;
        ASSERT_TRUE(WriteFile(root.filePath(QStringLiteral("photo.jpg")), "old picture"));
        ASSERT_TRUE(WriteFile(local.filePath(QStringLiteral("photo.jpg")), bytes));
        QProcess process;
        QString error;
        ASSERT_TRUE(StartSupportScript(process, QStringLiteral("sftp_v3_server.py"),
                                       {QStringLiteral("--root"), root.path(), QStringLiteral("--refuse-renames"),
                                        QString::number(refusal)},
                                       20000, &error))
            << error.toStdString();
        const QString port = AwaitScriptLine(process, QStringLiteral("PORT "), 20000, &error);
        ASSERT_FALSE(port.isEmpty()) << error.toStdString();

        FtpComponent ftp;
        ftp.setTrustQuestion([](const ServerCertificate& key) { return !key.keyType.isEmpty(); });
        Connect(ftp, port.toInt(), QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("sftp://"));
        ASSERT_EQ(ftp.State(), 1);
        const FtpError failure = FailureOf([&] { ftp.PutFile(local.filePath(QStringLiteral("photo.jpg")), "photo.jpg"); });
        EXPECT_EQ(failure.number == -1, arrives) << failure.description.toStdString();
        EXPECT_TRUE(ReadFile(root.filePath(QStringLiteral("photo.jpg"))) == (arrives ? bytes : QByteArray("old picture")));
        ftp.Quit();
        StopSupportScript(process, 5000);
    }
}
