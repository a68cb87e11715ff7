#include "session/ftp_address.h"
#include "session/ftp_component.h"
#include "support/ftp_server_fixture.h"
#include "support/qt_printers.h"
#include "support/scripted_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace quillmar;
using namespace quillmar::test;

namespace {

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(quint32(size) + 7);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.generate() & 0xff);
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs call and returns the FtpError it throws; number -1 when it does not.
FtpError FailureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const FtpError& e) {
        return e;
    }
    return FtpError(-1, QStringLiteral("no failure"));
}

// Everything the component raised, in order, and whether each came on the
// window thread.
struct EventLog {
    explicit EventLog(FtpComponent& ftp)
    {
        auto note = [this](const QString& what) {
            events.append(what);
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                offThread = true;
        };
        QObject::connect(&ftp, &FtpComponent::StateChanged, [note](int c) { note(QStringLiteral("state %1").arg(c)); });
        QObject::connect(&ftp, &FtpComponent::ListEntry, [this, note](const QString& line) {
            lines.append(line);
            note(QStringLiteral("entry"));
        });
        QObject::connect(&ftp, &FtpComponent::ListComplete, [note] { note(QStringLiteral("complete")); });
        QObject::connect(&ftp, &FtpComponent::Progress, [this, note](qint64 bytes) {
            progress.append(bytes);
            note(QStringLiteral("progress"));
        });
    }
    QStringList events;
    QStringList lines;
    QList<qint64> progress;
    bool offThread = false;
};

bool ListsName(const QStringList& lines, const QString& name)
{
    return std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.endsWith(u' ' + name); });
}

}  // namespace

// ---- server addresses

TEST(ServerAddress, SplitsHostAndPort)
{
    struct Case {
        QString text;
        std::optional<ServerAddress> expected;
    };
    const Case cases[] = {
        {"ftp.example.net", ServerAddress{"ftp.example.net", 21}},
        {"  127.0.0.1:2121 ", ServerAddress{"127.0.0.1", 2121}},
        {"[::1]:990", ServerAddress{"::1", 990}},
        {"[::1]", ServerAddress{"::1", 21}},
        {"fe80::1", ServerAddress{"fe80::1", 21}},
        {"127.0.0.1:", std::nullopt},
        {"127.0.0.1:0", std::nullopt},
        {"127.0.0.1:65536", std::nullopt},
        {"127.0.0.1:21x", std::nullopt},
        {":21", std::nullopt},
        {"[::1]x", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto got = SplitServerAddress(c.text, 21);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.text.toStdString();
        if (got) {
            EXPECT_EQ(got->host, c.expected->host) << c.text.toStdString();
            EXPECT_EQ(got->port, c.expected->port) << c.text.toStdString();
        }
    }
}

// ---- against a real FTP server

class FtpComponentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new FtpServerFixture; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(server->running()) << server->error().toStdString();
        ASSERT_TRUE(local.isValid());
    }

    // Connects the way the main window does: port property 21, the real
    // port given in the address.
    void connect(FtpComponent& ftp, const QString& password = {})
    {
        ftp.setUserName(server->user());
        ftp.setPassword(password.isEmpty() ? server->password() : password);
        ftp.setPort(21);
        ftp.setHost(QStringLiteral("127.0.0.1:%1").arg(server->port()));
        ftp.setAction(FtpComponent::Connect);
    }

    QString remotePath(const QString& name) const { return server->root() + u'/' + name; }
    QString localPath(const QString& name) const { return local.filePath(name); }

    static FtpServerFixture* server;
    QTemporaryDir local;
};

FtpServerFixture* FtpComponentTest::server = nullptr;

TEST_F(FtpComponentTest, ConnectListAndQuitRaiseTheirEventsOnTheWindowThreadBeforeReturning)
{
    ASSERT_TRUE(WriteFile(remotePath("listed.jpg"), "12345"));
    ASSERT_TRUE(QDir(server->root()).mkpath("listed_folder"));
    FtpComponent ftp;
    EXPECT_EQ(ftp.objectName(), "FTP1");
    EventLog log(ftp);

    connect(ftp);
    EXPECT_EQ(ftp.State(), 1);
    EXPECT_EQ(log.events, QStringList{"state 1"});

    ftp.setAction(FtpComponent::ListFolder);
    ASSERT_GE(log.events.size(), 4);
    EXPECT_EQ(log.events.last(), "complete");
    EXPECT_EQ(log.events.count("complete"), 1);
    EXPECT_EQ(log.events.count("entry"), log.events.size() - 2);
    EXPECT_TRUE(ListsName(log.lines, "listed.jpg")) << log.lines.join('\n').toStdString();
    EXPECT_TRUE(ListsName(log.lines, "listed_folder"));
    EXPECT_TRUE(std::any_of(log.lines.begin(), log.lines.end(), [](const QString& l) { return l.startsWith('d'); }));

    ftp.setAction(FtpComponent::Close);
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_EQ(log.events.last(), "state 0");
    ftp.Quit();   // already closed: nothing more happens
    EXPECT_EQ(log.events.count("state 0"), 1);
    EXPECT_FALSE(log.offThread);
}

TEST_F(FtpComponentTest, RefusedLoginCarriesTheServersCodeAndLeavesNoConnection)
{
    FtpComponent ftp;
    EventLog log(ftp);
    const FtpError error = FailureOf([&] { connect(ftp, "wrong"); });
    EXPECT_EQ(error.number, 530);
    EXPECT_TRUE(error.description.startsWith("530")) << error.description.toStdString();
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_TRUE(log.events.isEmpty());
}

TEST_F(FtpComponentTest, UnreachableServerNamesTheAddress)
{
    FtpComponent ftp;
    ftp.setHost("127.0.0.1:1");   // nothing listens there
    const FtpError error = FailureOf([&] { ftp.setAction(FtpComponent::Connect); });
    EXPECT_EQ(error.number, ftp_errors::Network);
    EXPECT_TRUE(error.description.contains("127.0.0.1:1")) << error.description.toStdString();
}

TEST_F(FtpComponentTest, EveryOperationNeedsAConnection)
{
    const std::pair<const char*, std::function<void(FtpComponent&)>> operations[] = {
        {"ChangeDir", [](FtpComponent& f) { f.ChangeDir("x"); }},
        {"List", [](FtpComponent& f) { f.List(); }},
        {"Action 11", [](FtpComponent& f) { f.setAction(FtpComponent::ListFolder); }},
        {"MakeDir", [](FtpComponent& f) { f.MakeDir("x"); }},
        {"DeleteFile", [](FtpComponent& f) { f.DeleteFile("x"); }},
        {"RemoveDir", [](FtpComponent& f) { f.RemoveDir("x"); }},
        {"GetFile", [](FtpComponent& f) { f.GetFile("x", "x"); }},
        {"PutFile", [](FtpComponent& f) { f.PutFile("x", "x"); }},
        {"Rename", [](FtpComponent& f) { f.Rename("x", "y"); }},
        {"SendCommand", [](FtpComponent& f) { f.setCommand("SIZE x"); f.SendCommand(); }},
    };
    for (const auto& [name, operation] : operations) {
        FtpComponent ftp;
        const FtpError error = FailureOf([&] { operation(ftp); });
        EXPECT_EQ(error.number, ftp_errors::NotConnected) << name;
    }
    // Also after a connection has been closed.
    FtpComponent ftp;
    connect(ftp);
    ftp.Quit();
    EXPECT_EQ(FailureOf([&] { ftp.List(); }).number, ftp_errors::NotConnected);
}

TEST_F(FtpComponentTest, NamesWithLineBreaksAreRefusedAndNothingIsSent)
{
    ASSERT_TRUE(WriteFile(remotePath("victim.jpg"), "keep me"));
    const QString evil = QStringLiteral("x\r\nDELE victim.jpg");
    const std::pair<const char*, std::function<void(FtpComponent&)>> operations[] = {
        {"ChangeDir", [&](FtpComponent& f) { f.ChangeDir(evil); }},
        {"MakeDir", [&](FtpComponent& f) { f.MakeDir(evil); }},
        {"DeleteFile", [&](FtpComponent& f) { f.DeleteFile(evil); }},
        {"RemoveDir", [&](FtpComponent& f) { f.RemoveDir(evil); }},
        {"GetFile", [&](FtpComponent& f) { f.GetFile(evil, localPath("x")); }},
        {"PutFile", [&](FtpComponent& f) { f.PutFile(localPath("x"), evil); }},
        {"Rename from", [&](FtpComponent& f) { f.Rename(evil, "y"); }},
        {"Rename to", [&](FtpComponent& f) { f.Rename("victim.jpg", "y\nDELE victim.jpg"); }},
        {"SendCommand", [&](FtpComponent& f) { f.setCommand("SIZE " + evil); f.SendCommand(); }},
    };
    FtpComponent ftp;
    connect(ftp);
    for (const auto& [name, operation] : operations) {
        EXPECT_EQ(FailureOf([&] { operation(ftp); }).number, ftp_errors::BadName) << name;
        EXPECT_TRUE(QFile::exists(remotePath("victim.jpg"))) << name;
    }
    EXPECT_EQ(ftp.State(), 1);

    FtpComponent other;
    other.setHost(QStringLiteral("127.0.0.1:%1").arg(server->port()));
    other.setUserName("demo\r\nDELE victim.jpg");
    EXPECT_EQ(FailureOf([&] { other.setAction(FtpComponent::Connect); }).number, ftp_errors::BadName);
}

TEST_F(FtpComponentTest, FolderAndFileCommandsChangeTheServer)
{
    FtpComponent ftp;
    connect(ftp);
    ftp.MakeDir("album");
    EXPECT_TRUE(QFileInfo(remotePath("album")).isDir());
    ftp.ChangeDir("album");
    ASSERT_TRUE(WriteFile(localPath("a.jpg"), "picture"));
    ftp.PutFile(localPath("a.jpg"), "a.jpg");
    EXPECT_EQ(ReadFile(remotePath("album/a.jpg")), "picture");

    ftp.Rename("a.jpg", "b.jpg");
    EXPECT_FALSE(QFile::exists(remotePath("album/a.jpg")));
    EXPECT_TRUE(QFile::exists(remotePath("album/b.jpg")));

    const FtpError notEmpty = FailureOf([&] { ftp.ChangeDir(".."); ftp.RemoveDir("album"); });
    EXPECT_EQ(notEmpty.number / 100, 5) << notEmpty.description.toStdString();
    ftp.ChangeDir("album");
    ftp.DeleteFile("b.jpg");
    EXPECT_FALSE(QFile::exists(remotePath("album/b.jpg")));
    ftp.ChangeDir("..");
    ftp.RemoveDir("album");
    EXPECT_FALSE(QFileInfo::exists(remotePath("album")));

    const FtpError missing = FailureOf([&] { ftp.ChangeDir("no_such_folder"); });
    EXPECT_EQ(missing.number, 550);
    EXPECT_TRUE(missing.description.startsWith("550")) << missing.description.toStdString();
    EXPECT_EQ(FailureOf([&] { ftp.DeleteFile("no_such_file"); }).number, 550);
    EXPECT_EQ(FailureOf([&] { ftp.Rename("no_such_file", "z"); }).number, 550);
    EXPECT_EQ(ftp.State(), 1);   // refusals keep the connection
}

TEST_F(FtpComponentTest, SendCommandFillsReplyAndDoesNotThrowOnARefusal)
{
    ASSERT_TRUE(WriteFile(remotePath("sized.jpg"), QByteArray(1234, 'x')));
    FtpComponent ftp;
    connect(ftp);
    ftp.setCommand("SIZE sized.jpg");
    ftp.SendCommand();
    EXPECT_EQ(ftp.Reply(), "213 1234");
    ftp.setCommand("SIZE missing.jpg");
    ftp.SendCommand();
    EXPECT_TRUE(ftp.Reply().startsWith("550")) << ftp.Reply().toStdString();
}

TEST_F(FtpComponentTest, TransfersAreByteIdenticalWithThrottledProgress)
{
    for (const qsizetype size : {qsizetype(0), qsizetype(70000), qsizetype(50 * 1000 * 1000)}) {
        SCOPED_TRACE(size);
        const QByteArray bytes = RandomBytes(size);
        const QString name = QStringLiteral("t%1.bin").arg(size);
        ASSERT_TRUE(WriteFile(localPath(name), bytes));
        FtpComponent ftp;
        connect(ftp);
        EventLog log(ftp);

        ftp.PutFile(localPath(name), name);
        ASSERT_EQ(QFileInfo(remotePath(name)).size(), size);
        EXPECT_TRUE(ReadFile(remotePath(name)) == bytes);
        const QList<qint64> up = std::exchange(log.progress, {});

        ftp.GetFile(name, localPath("back.bin"));
        EXPECT_TRUE(ReadFile(localPath("back.bin")) == bytes);

        for (const QList<qint64>& progress : {up, log.progress}) {
            ASSERT_FALSE(progress.isEmpty());
            EXPECT_EQ(progress.last(), size);
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
            const qint64 blocks = size / (64 * 1024) + 1;
            EXPECT_LE(progress.size(), std::max<qint64>(2, blocks / 2));
        }
        EXPECT_FALSE(log.offThread);
        QFile::remove(localPath("back.bin"));
        QFile::remove(remotePath(name));
    }
}

TEST_F(FtpComponentTest, FailedDownloadLeavesTheLocalFileAndNoTemporaryFiles)
{
    ASSERT_TRUE(WriteFile(localPath("keep.jpg"), "old picture"));
    FtpComponent ftp;
    connect(ftp);
    const FtpError error = FailureOf([&] { ftp.GetFile("not_there.jpg", localPath("keep.jpg")); });
    EXPECT_EQ(error.number, 550);
    EXPECT_EQ(ReadFile(localPath("keep.jpg")), "old picture");
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.jpg"});
}

TEST_F(FtpComponentTest, LocalNamesResolveAgainstTheCurrentFolder)
{
    ASSERT_TRUE(WriteFile(remotePath("here.jpg"), "here"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(local.path()));
    FtpComponent ftp;
    connect(ftp);
    ftp.GetFile("here.jpg", "here_copy.jpg");
    QDir::setCurrent(before);
    EXPECT_EQ(ReadFile(localPath("here_copy.jpg")), "here");
}

TEST_F(FtpComponentTest, MissingLocalFileNamesThePath)
{
    FtpComponent ftp;
    connect(ftp);
    const FtpError error = FailureOf([&] { ftp.PutFile(localPath("absent.jpg"), "absent.jpg"); });
    EXPECT_EQ(error.number, ftp_errors::LocalFile);
    EXPECT_TRUE(error.description.contains(QDir::toNativeSeparators(localPath("absent.jpg"))))
        << error.description.toStdString();
    EXPECT_FALSE(QFile::exists(remotePath("absent.jpg")));
    EXPECT_EQ(ftp.State(), 1);
}

TEST_F(FtpComponentTest, ACallFromInsideAnEventHandlerIsRefused)
{
    ASSERT_TRUE(WriteFile(remotePath("one.jpg"), "1"));
    FtpComponent ftp;
    connect(ftp);
    std::optional<int> inner;
    QObject::connect(&ftp, &FtpComponent::ListEntry, [&] {
        if (!inner)
            inner = FailureOf([&] { ftp.List(); }).number;
    });
    ftp.List();
    EXPECT_EQ(inner, ftp_errors::Busy);
    ftp.List();   // the component is usable afterwards
}

// ---- against the scripted fault server

class FtpFaultTest : public ::testing::Test {
protected:
    void connect(FtpComponent& ftp, const ScriptedServer& server)
    {
        ASSERT_TRUE(server.running());
        ftp.setUserName("demo");
        ftp.setPassword("demo");
        ftp.setPort(server.port());
        ftp.setHost("127.0.0.1");
        ftp.setAction(FtpComponent::Connect);
    }
    QTemporaryDir local;
};

TEST_F(FtpFaultTest, SilentServerTimesOut)
{
    ServerScript script;
    script.greet = false;
    ScriptedServer server(script);
    FtpComponent ftp;
    ftp.setTimeout(std::chrono::seconds(1));
    const FtpError error = FailureOf([&] { connect(ftp, server); });
    EXPECT_EQ(error.number, ftp_errors::TimedOut) << error.description.toStdString();
    EXPECT_EQ(ftp.State(), 0);
}

TEST_F(FtpFaultTest, ServerHangingUpWhileIdleIsReported)
{
    for (const bool say421 : {true, false}) {
        SCOPED_TRACE(say421);
        ServerScript script;
        script.hangUpWhenIdleMs = 500;
        script.say421 = say421;
        ScriptedServer server(script);
        FtpComponent ftp;
        QSignalSpy spy(&ftp, &FtpComponent::StateChanged);
        connect(ftp, server);
        ASSERT_EQ(ftp.State(), 1);
        ASSERT_TRUE(spy.count() == 2 || spy.wait(5000));
        EXPECT_EQ(spy.last().at(0).toInt(), 0);
        EXPECT_EQ(ftp.State(), 0);
        EXPECT_EQ(FailureOf([&] { ftp.List(); }).number, ftp_errors::NotConnected);
    }
}

TEST_F(FtpFaultTest, DropInTheMiddleOfADownloadKeepsTheLocalFile)
{
    ServerScript script;
    script.file = RandomBytes(1000000);
    script.hangUpAfterBytes = 200000;
    ScriptedServer server(script);
    const QString target = local.filePath("pic.jpg");
    ASSERT_TRUE(WriteFile(target, "old picture"));
    FtpComponent ftp;
    connect(ftp, server);
    EventLog log(ftp);
    const FtpError error = FailureOf([&] { ftp.GetFile("pic.jpg", target); });
    EXPECT_EQ(error.number, ftp_errors::Network) << error.description.toStdString();
    EXPECT_TRUE(log.events.contains("state 0"));   // delivered before the call threw
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_EQ(ReadFile(target), "old picture");
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pic.jpg"});
}

TEST_F(FtpFaultTest, ForeignPassiveAddressIsNotContacted)
{
    const QByteArray bytes = RandomBytes(300000);
    ServerScript script;
    script.passiveHost = "127.0.0.2";
    script.file = bytes;
    ScriptedServer server(script);
    FtpComponent ftp;
    connect(ftp, server);
    ftp.GetFile("pic.jpg", local.filePath("pic.jpg"));
    EXPECT_TRUE(ReadFile(local.filePath("pic.jpg")) == bytes);
    EXPECT_EQ(server.dataConnections(), 1);
    EXPECT_EQ(server.strangerConnections(), 0);
    EXPECT_TRUE(server.commands().contains("PASV"));
}

TEST_F(FtpFaultTest, AbortAndDestructionEndAStalledDownload)
{
    ServerScript script;
    script.file = RandomBytes(1000000);
    script.stallAfterBytes = 100000;
    const QString target = local.filePath("pic.jpg");
    {
        ScriptedServer server(script);
        FtpComponent ftp;
        connect(ftp, server);
        QTimer::singleShot(200, &ftp, [&] { ftp.Abort(); });
        const FtpError error = FailureOf([&] { ftp.GetFile("pic.jpg", target); });
        EXPECT_EQ(error.number, ftp_errors::Cancelled) << error.description.toStdString();
        EXPECT_EQ(ftp.State(), 0);
        ftp.Abort();   // nothing running: harmless
    }
    {
        ScriptedServer server(script);
        auto* ftp = new FtpComponent;
        connect(*ftp, server);
        QTimer::singleShot(200, [&] { delete ftp; });
        const FtpError error = FailureOf([&] { ftp->GetFile("pic.jpg", target); });
        EXPECT_EQ(error.number, ftp_errors::Cancelled) << error.description.toStdString();
    }
    EXPECT_TRUE(QDir(local.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
