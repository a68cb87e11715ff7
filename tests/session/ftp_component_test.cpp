#include "session/ftp_component.h"
#include "session/transport.h"
#include "support/raw_files.h"
#include "support/files.h"
#include "support/ftp_server_fixture.h"
#include "support/qt_printers.h"
#include "support/scripted_server.h"
#include "support/test_certificate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

using namespace quillmar;
using namespace quillmar::test;

namespace {

// Every call that sends a name to the server, each sending name.
using Call = std::pair<const char*, std::function<void(FtpComponent&)>>;
std::vector<Call> NamedCalls(const QString& name, const QString& localPath)
{
    return {
        {"ChangeDir", [=](FtpComponent& f) { f.ChangeDir(name); }},
        {"MakeDir", [=](FtpComponent& f) { f.MakeDir(name); }},
        {"DeleteFile", [=](FtpComponent& f) { f.DeleteFile(name); }},
        {"RemoveDir", [=](FtpComponent& f) { f.RemoveDir(name); }},
        {"GetFile", [=](FtpComponent& f) { f.GetFile(name, localPath); }},
        {"PutFile", [=](FtpComponent& f) { f.PutFile(localPath, name); }},
        {"Rename from", [=](FtpComponent& f) { f.Rename(name, "y"); }},
        {"Rename to", [=](FtpComponent& f) { f.Rename("victim.jpg", name); }},
        {"SendCommand", [=](FtpComponent& f) { f.setCommand("SIZE " + name); f.SendCommand(); }},
        {"SizeOf", [=](FtpComponent& f) { f.SizeOf(name); }},
    };
}

// Everything the component raised, in order, and whether any came off the
// window thread.
struct EventLog {
    explicit EventLog(FtpComponent& ftp)
    {
        QObject::connect(&ftp, &FtpComponent::StateChanged, [this](int c) { note(QStringLiteral("state %1").arg(c)); });
        QObject::connect(&ftp, &FtpComponent::ListEntry, [this](const QString& line) { lines.append(line); note("entry"); });
        QObject::connect(&ftp, &FtpComponent::ListComplete, [this] { note("complete"); });
        QObject::connect(&ftp, &FtpComponent::Progress, [this](qint64 bytes, qint64 size) {
            progress.append(bytes);
            expected.append(size);
            note("progress");
        });
    }
    void note(const QString& what)
    {
        events.append(what);
        offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
    }
    QStringList events, lines;
    QList<qint64> progress, expected;   // each report's bytes, and the size it expects
    bool offThread = false;
};

}  // namespace

class FtpComponentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new FtpServerFixture; }
    static void TearDownTestSuite() { delete std::exchange(server, nullptr); }
    void SetUp() override { ASSERT_TRUE(server->running()) << server->error(); }

    QString remotePath(const QString& name) const { return server->root() + u'/' + name; }
    QString localPath(const QString& name) const { return local.filePath(name); }

    static FtpServerFixture* server;
    QTemporaryDir local;
};

FtpServerFixture* FtpComponentTest::server = nullptr;

TEST_F(FtpComponentTest, ConnectListAndCloseRaiseTheirEventsInOrderOnTheWindowThreadBeforeReturning)
{
    ASSERT_TRUE(WriteFile(remotePath("listed.jpg"), "12345"));   // what each row holds is the interop tests'
    FtpComponent ftp;
    EventLog log(ftp);
    Connect(ftp, server->port());
    EXPECT_EQ(ftp.State(), 1);
    EXPECT_EQ(log.events, QStringList{"state 1"});

    std::optional<int> nested;   // a call from inside a handler is refused, not run
    QObject::connect(&ftp, &FtpComponent::ListEntry, [&] {
        if (!nested)
            nested = FailureOf([&] { ftp.List(); }).number;
    });
    ftp.setAction(FtpComponent::ListFolder);
    EXPECT_EQ(nested, ftp_errors::Busy);
    ASSERT_FALSE(log.lines.isEmpty());
    EXPECT_EQ(log.events, QStringList{"state 1"} + QStringList(log.lines.size(), "entry") + QStringList{"complete"});

    ftp.setAction(FtpComponent::Close);
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_EQ(log.events.last(), "state 0");
    ftp.Quit();   // already closed: nothing more happens
    EXPECT_EQ(log.events.count("state 0"), 1);
    EXPECT_FALSE(log.offThread);
}

TEST_F(FtpComponentTest, FailedConnectionSaysWhyAndEveryOperationNeedsAConnection)
{
    ScriptedServer silent(ServerScript{.greet = false});
    const std::tuple<const char*, int, QString, int, QString> cases[] = {
        {"wrong password", server->port(), "wrong", 530, "^530"},
        {"nothing listening", 1, "demo", ftp_errors::Network, "127\\.0\\.0\\.1:1\\b"},
        {"silent server", silent.port(), "demo", ftp_errors::TimedOut, QStringLiteral("127\\.0\\.0\\.1:%1\\b").arg(silent.port())},
    };
    for (const auto& [name, port, password, number, said] : cases) {
        SCOPED_TRACE(name);
        FtpComponent ftp;
        // Short only for the silent server: the real one holds a refused login back for a while.
        ftp.setTimeout(std::chrono::seconds(number == ftp_errors::TimedOut ? 1 : 30));
        EventLog log(ftp);
        const FtpError error = FailureOf([&] { Connect(ftp, port, password); });
        EXPECT_EQ(error.number, number);
        EXPECT_TRUE(error.description.contains(QRegularExpression(said))) << error.description;
        EXPECT_EQ(ftp.State(), 0);
        EXPECT_TRUE(log.events.isEmpty());
    }

    // Every operation needs a connection, before the first and after Quit.
    FtpComponent closed;
    Connect(closed, server->port());
    closed.Quit();
    std::vector<Call> calls = NamedCalls("x", "x");
    calls.push_back({"List", [](FtpComponent& f) { f.List(); }});
    calls.push_back({"Action 11", [](FtpComponent& f) { f.setAction(FtpComponent::ListFolder); }});
    for (const auto& [name, call] : calls) {
        FtpComponent never;
        EXPECT_EQ(FailureOf([&] { call(never); }).number, ftp_errors::NotConnected) << name;
        EXPECT_EQ(FailureOf([&] { call(closed); }).number, ftp_errors::NotConnected) << name << " after Quit";
    }
}

// Each command's success on every kind of server is the interop tests'; here
// the refusals, the downloaded file's name and mode, and names with line breaks.
TEST_F(FtpComponentTest, RefusalsKeepTheConnectionAndLineBreaksAreRefused)
{
    FtpComponent ftp;
    Connect(ftp, server->port());
    ftp.MakeDir("album");
    ASSERT_TRUE(WriteFile(remotePath("album/b.jpg"), "picture"));
    EXPECT_EQ(FailureOf([&] { ftp.RemoveDir("album"); }).number / 100, 5);   // not empty

    const FtpError missing = FailureOf([&] { ftp.ChangeDir("no_such_folder"); });
    EXPECT_TRUE(missing.number == 550 && missing.description.startsWith("550")) << missing.description;
    EXPECT_EQ(FailureOf([&] { ftp.Rename("no_such_file", "z"); }).number, 550);
    const QString longest(254, u'n');   // the part file's name must still fit
    ASSERT_TRUE(WriteFile(remotePath(longest), "long"));
    ftp.GetFile(longest, localPath(longest));
    EXPECT_EQ(ReadFile(localPath(longest)), "long");
    // A new download may be read by all and written by its owner; one over a
    // file keeps that file's mode.
    const auto mode = [&] { return QFile::permissions(localPath(longest)) & QFileDevice::Permissions(0x7077); };
    EXPECT_EQ(mode(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QFile::setPermissions(localPath(longest), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ftp.GetFile(longest, localPath(longest));
    EXPECT_EQ(mode(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const FtpError absent = FailureOf([&] { ftp.PutFile(localPath("absent.jpg"), "absent.jpg"); });
    EXPECT_EQ(absent.number, ftp_errors::LocalFile);
    EXPECT_TRUE(absent.description.contains(QDir::toNativeSeparators(localPath("absent.jpg")))) << absent.description;
    EXPECT_FALSE(QFile::exists(remotePath("absent.jpg")));
    EXPECT_EQ(ftp.State(), 1);

    ftp.setCommand("SIZE missing.jpg");   // a reply to a raw command is the non-UTF-8 test's
    ftp.SendCommand();   // a refusal is a reply, not a failure
    EXPECT_TRUE(ftp.Reply().startsWith("550")) << ftp.Reply();
    // The same question in the component's own words, over any protocol.
    EXPECT_EQ(ftp.SizeOf("missing.jpg"), -1);
    EXPECT_EQ(ftp.CurrentFolder(), "/");

    // Names with line breaks are refused and nothing is sent.
    ASSERT_TRUE(WriteFile(remotePath("victim.jpg"), "keep me"));
    for (const char* lineBreak : {"\r\n", "\n", "\r"}) {
        const QString evil = QStringLiteral("x%1DELE victim.jpg").arg(lineBreak);
        for (const auto& [name, call] : NamedCalls(evil, localPath("x"))) {
            EXPECT_EQ(FailureOf([&] { call(ftp); }).number, ftp_errors::BadName) << name << evil;
            EXPECT_TRUE(QFile::exists(remotePath("victim.jpg"))) << name << evil;
        }
    }
    EXPECT_EQ(ftp.State(), 1);
    ftp.Quit();
    ftp.setUserName("demo\r\nDELE victim.jpg");
    EXPECT_EQ(FailureOf([&] { ftp.setAction(FtpComponent::Connect); }).number, ftp_errors::BadName);
}

// A name that is not UTF-8 goes out as the server's bytes for every command,
// also after going into another folder and back, before any new listing.
TEST_F(FtpComponentTest, NamesThatAreNotUtf8KeepTheirBytesAfterAFolderChange)
{
    const QByteArray raw = "caf\xe9.jpg";
    const QString shown = QString::fromLatin1(raw);
    const QByteArray rawPath = QFile::encodeName(server->root()) + '/' + raw;
    ASSERT_TRUE(QDir(server->root()).mkpath("inner"));
    const std::vector<std::pair<const char*, std::function<void(FtpComponent&)>>> uses = {
        {"SIZE", [&](FtpComponent& f) { f.setCommand("SIZE " + shown); f.SendCommand(); EXPECT_EQ(f.Reply(), "213 4"); }},
        {"GetFile", [&](FtpComponent& f) { f.GetFile(shown, localPath("got.jpg")); EXPECT_EQ(ReadFile(localPath("got.jpg")), "cafe"); }},
        {"Rename", [&](FtpComponent& f) { f.Rename(shown, "renamed.jpg"); EXPECT_EQ(ReadFile(remotePath("renamed.jpg")), "cafe"); }},
        {"DeleteFile", [&](FtpComponent& f) { f.DeleteFile(shown); EXPECT_FALSE(Exists(rawPath)); }},
    };
    FtpComponent ftp;
    Connect(ftp, server->port());
    for (const auto& [name, use] : uses) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(WriteRaw(rawPath, "cafe"));
        ftp.List();
        ftp.ChangeDir("inner");
        ftp.ChangeDir("..");
        const FtpError error = FailureOf([&] { use(ftp); });
        EXPECT_EQ(error.number, -1) << error.description;
        QFile::remove(remotePath("renamed.jpg"));
    }
    ::unlink(rawPath.constData());
}

// Each kind of transfer moves the bytes unchanged, its progress rising to the
// size in few reports, each carrying the size the transfer expects: the local
// file's going up, the caller's coming down, never an earlier transfer's.
TEST_F(FtpComponentTest, TransfersAreByteIdenticalWithThrottledRisingProgressCarryingTheirSize)
{
    const struct Back { QString path; ~Back() { QDir::setCurrent(path); } } back{QDir::currentPath()};
    ASSERT_TRUE(QDir::setCurrent(local.path()));   // local names resolve against it
    for (const qsizetype size : {qsizetype(0), qsizetype(70000), qsizetype(50 * 1000 * 1000)}) {
        SCOPED_TRACE(size);
        const QByteArray bytes = RandomBytes(size);
        ASSERT_TRUE(WriteFile(localPath("up.bin"), bytes));
        FtpComponent ftp;
        Connect(ftp, server->port());
        EventLog log(ftp);
        const std::tuple<const char*, std::function<void()>, QString, qint64> transfers[] = {   // lands at, expects
            {"upload", [&] { ftp.PutFile(localPath("up.bin"), "up.bin"); }, remotePath("up.bin"), size},
            {"download of unknown size", [&] { ftp.GetFile("up.bin", "back.bin"); }, localPath("back.bin"), 0},
            {"download of a listed size", [&] { ftp.GetFile("up.bin", "listed.bin", size); }, localPath("listed.bin"), size},
            {"straight upload", [&] { ftp.PutFileStraight("back.bin", "straight.bin"); }, remotePath("straight.bin"), size},
        };
        for (const auto& [what, transfer, landed, expected] : transfers) {
            SCOPED_TRACE(what);
            log.progress.clear();
            log.expected.clear();
            transfer();
            EXPECT_TRUE(ReadFile(landed) == bytes);
            ASSERT_FALSE(log.progress.isEmpty());
            EXPECT_EQ(log.progress.last(), size);
            EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));
            EXPECT_LE(log.progress.size(), std::max<qint64>(2, (size / (64 * 1024) + 1) / 2));
            EXPECT_EQ(log.expected, QList<qint64>(log.progress.size(), expected));
        }
        EXPECT_FALSE(log.offThread);
    }
}

// ---- against the scripted fault server

// A download that fails, is aborted, destroyed or stopped, or trickles below
// 1 KiB per time-out, leaves the local file alone and never contacts the
// foreign address a passive reply names. Stop ends it within a second and
// keeps the connection (the server answers ABOR); a trickle fails as timed
// out however long it would go on.
TEST(FtpFault, FailedDownloadLeavesTheLocalFileAloneAndTheForeignAddressUncontacted)
{
    const QByteArray bytes = RandomBytes(1000000);
    enum Ending { Wait, Abort, Destroy, Stop };
    const std::tuple<const char*, ServerScript, Ending, int, int> cases[] = {   // time-out s, number
        {"passive reply names 127.0.0.2", {.passiveHost = "127.0.0.2", .file = bytes}, Wait, 30, -1},
        {"server hangs up mid-way", {.file = bytes, .dropAfterBytes = 200000}, Wait, 30, ftp_errors::Network},
        {"aborted while stalled", {.file = bytes, .stallAfterBytes = 100000}, Abort, 30, ftp_errors::Cancelled},
        {"destroyed while stalled", {.file = bytes, .stallAfterBytes = 100000}, Destroy, 30, ftp_errors::Cancelled},
        {"stopped", {.file = bytes, .dripBytes = 1000}, Stop, 30, ftp_errors::Stopped},
        {"trickling", {.file = bytes, .dripBytes = 90}, Wait, 1, ftp_errors::TimedOut},
    };
    for (const auto& [name, script, ending, timeout, number] : cases) {
        SCOPED_TRACE(name);
        ScriptedServer server(script);
        QTemporaryDir local;
        const QString target = local.filePath("pic.jpg");
        ASSERT_TRUE(WriteFile(target, "old picture"));
        auto ftp = std::make_unique<FtpComponent>();
        ftp->setTimeout(std::chrono::seconds(timeout));
        ftp->setResumePolicy(0, std::chrono::milliseconds::zero());   // a single try: the resume tests cover more
        Connect(*ftp, server.port());
        EventLog log(*ftp);
        QElapsedTimer call, sinceEnding;
        call.start();
        if (ending != Wait) {
            QTimer::singleShot(300, [&, ending] {
                sinceEnding.start();
                ending == Abort ? ftp->Abort() : ending == Stop ? ftp->Stop() : ftp.reset();
            });
        }
        const FtpError error = FailureOf([&] { ftp->GetFile("pic.jpg", target); });
        EXPECT_EQ(error.number, number) << error.description;
        EXPECT_TRUE(ReadFile(target) == (number == -1 ? bytes : "old picture"));
        EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pic.jpg"});
        EXPECT_EQ(server.dataConnections(), 1);
        EXPECT_EQ(server.strangerConnections(), 0);
        if (number == ftp_errors::Stopped || number == ftp_errors::TimedOut) {
            EXPECT_LT(ending == Stop ? sinceEnding.elapsed() : call.elapsed(), ending == Stop ? 1000 : 3000);
            ftp->setCommand("NOOP");
            ftp->SendCommand();   // after the ABOR exchange: the connection is still there
            EXPECT_EQ(ftp->State(), 1);
        } else if (ftp && number != -1) {
            EXPECT_EQ(log.events.filter("state").join(','), "state 0");   // delivered before the call threw
            ftp->Abort();   // nothing running: harmless
        }
    }
}

// An upload goes to a temporary name and replaces the server's copy only when
// complete; stopped or refused half-way it leaves the old copy and no
// temporary file, and a refusal's own words reach the caller.
TEST(FtpFault, UploadsReplaceTheServerCopyOnlyWhenComplete)
{
    const QByteArray bytes = RandomBytes(8 * 1024 * 1024);
    const std::tuple<const char*, ServerScript, int> cases[] = {
        {"complete, rename onto an existing name refused", {.refuseRenameOntoExisting = true}, -1},
        {"stopped half-way", {.storReadDelayMs = 5}, ftp_errors::Stopped},
        {"refused with 552 half-way", {.refuseStorAfterBytes = 100000}, 552},
    };
    for (auto [name, script, number] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir remote, local;
        script.folder = remote.path();
        ScriptedServer server(script);
        ASSERT_TRUE(WriteFile(remote.filePath("pic.jpg"), "old picture"));
        ASSERT_TRUE(WriteFile(local.filePath("new.jpg"), bytes));
        FtpComponent ftp;
        Connect(ftp, server.port());
        if (number == ftp_errors::Stopped)
            QTimer::singleShot(300, [&] { ftp.Stop(); });
        const FtpError error = FailureOf([&] { ftp.PutFile(local.filePath("new.jpg"), "pic.jpg"); });
        EXPECT_EQ(error.number, number) << error.description;
        EXPECT_TRUE(number != 552 || error.description.startsWith("552 Quota exceeded")) << error.description;
        ftp.setCommand("NOOP");
        ftp.SendCommand();   // runs after the stopped upload's clean-up
        EXPECT_EQ(ftp.State(), 1);
        EXPECT_TRUE(ReadFile(remote.filePath("pic.jpg")) == (number == -1 ? bytes : "old picture"));
        EXPECT_EQ(QDir(remote.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pic.jpg"});
    }
}

// An upload's fresh temporary name is created by APPE, which asks the server
// to empty nothing; a server refusing APPE gets STOR, at once from then on.
TEST(FtpFault, AFreshTemporaryNameIsAppendedToUnlessTheServerRefuses)
{
    const std::tuple<bool, QString> cases[] = {{false, "APPE|APPE"}, {true, "APPE|STOR|STOR"}};
    for (const auto& [refuseAppe, sent] : cases) {
        SCOPED_TRACE(refuseAppe);
        QTemporaryDir remote, local;
        ScriptedServer server({.folder = remote.path(), .refuseAppe = refuseAppe});
        ASSERT_TRUE(WriteFile(remote.filePath("pic.jpg"), "old picture"));
        FtpComponent ftp;
        Connect(ftp, server.port());
        for (const QByteArray& bytes : {RandomBytes(70000), RandomBytes(1000)}) {
            ASSERT_TRUE(WriteFile(local.filePath("new.jpg"), bytes));
            ftp.PutFile(local.filePath("new.jpg"), "pic.jpg");
            EXPECT_TRUE(ReadFile(remote.filePath("pic.jpg")) == bytes);
        }
        const QStringList commands = server.commands().filter(QRegularExpression("^(STOR|APPE) \\.quillmar-"));
        EXPECT_EQ(QStringList(commands).replaceInStrings(QRegularExpression(" .*"), QString()).join('|'), sent);
    }
}

// Where the server will not rename an upload onto its name, the upload is
// never lost with the old copy: kept under its temporary name (and named)
// once the old copy was deleted, removed when nothing was changed, and made
// redundant by an upload straight to the name.
TEST(FtpFault, ARefusedRenameNeverLosesBothCopies)
{
    const QByteArray bytes = RandomBytes(300000);
    enum Server { Refusing, RefusingThenGone };
    const std::tuple<const char*, bool, Server, int, QString> cases[] = {   // old copy there, number, said
        {"old copy deleted, rename still refused", true, Refusing, ftp_errors::RenameRefused,
         "; the server refused to rename it to photo.jpg: 553 Rename refused"},
        {"no old copy", false, Refusing, ftp_errors::RenameRefused, "553 Rename refused"},
        {"connection lost once the old copy was deleted", true, RefusingThenGone, ftp_errors::Network,
         "; it could not be renamed to photo.jpg, whose old copy may already be deleted"},
    };
    for (const auto& [name, oldCopy, kind, number, said] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir remote, local;
        ScriptedServer server(
            ServerScript{.folder = remote.path(), .refuseRenames = true, .hangUpAfterDelete = kind == RefusingThenGone});
        ASSERT_TRUE(!oldCopy || WriteFile(remote.filePath("photo.jpg"), "old picture"));
        ASSERT_TRUE(WriteFile(local.filePath("photo.jpg"), bytes));
        FtpComponent ftp;
        Connect(ftp, server.port());
        const FtpError error = FailureOf([&] { ftp.PutFile(local.filePath("photo.jpg"), "photo.jpg"); });
        EXPECT_EQ(error.number, number) << error.description;
        EXPECT_TRUE(error.description.contains(said)) << error.description;
        if (ftp.State() == 0)
            Connect(ftp, server.port());   // runs after any clean-up the lost connection set off
        const QStringList temps = QDir(remote.path()).entryList({".quillmar-*.part"}, QDir::Files | QDir::Hidden);
        if (oldCopy) {
            ASSERT_EQ(temps.size(), 1);
            EXPECT_TRUE(ReadFile(remote.filePath(temps.first())) == bytes);
            EXPECT_TRUE(error.description.startsWith("Your upload is on the server as " + temps.first() + "; "))
                << error.description;
        } else {
            EXPECT_EQ(QDir(remote.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
        if (kind == RefusingThenGone)
            continue;
        EXPECT_EQ(ftp.State(), 1);
        ftp.PutFileStraight(local.filePath("photo.jpg"), "photo.jpg");
        EXPECT_TRUE(ReadFile(remote.filePath("photo.jpg")) == bytes);
        EXPECT_EQ(QDir(remote.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"photo.jpg"});
    }
}

// A Stop while RNFR and RNTO are on their way cannot call them back: the
// call says what the server did, or that it is not known yet.
TEST(FtpFault, AStopDuringARenameSaysWhatTheServerDid)
{
    const std::tuple<const char*, int, bool, int, const char*> cases[] = {   // rename takes, refused, number, said
        {"renamed as the stop came", 300, false, -1, ""},
        {"refused as the stop came", 300, true, ftp_errors::Stopped, "so a.jpg keeps its name"},
        {"no answer before the connection was cut", 2000, false, ftp_errors::Stopped, "whether it was renamed is not known"},
    };
    for (const auto& [name, delay, refuse, number, said] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir remote;
        ScriptedServer server({.folder = remote.path(), .refuseRenames = refuse, .renameDelayMs = delay});
        ASSERT_TRUE(WriteFile(remote.filePath("a.jpg"), "picture"));
        FtpComponent ftp;
        Connect(ftp, server.port());
        QTimer::singleShot(100, [&] { ftp.Stop(); });
        const FtpError error = FailureOf([&] { ftp.Rename("a.jpg", "b.jpg"); });
        EXPECT_EQ(error.number, number) << error.description;
        EXPECT_TRUE(error.description.contains(said)) << error.description;
        EXPECT_EQ(ftp.State(), delay < 1000 ? 1 : 0);
        if (number == -1) {
            EXPECT_EQ(ReadFile(remote.filePath("b.jpg")), "picture");
        }
    }
}

qint64 ResidentBytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch match = QRegularExpression("VmRSS:\\s*(\\d+) kB").match(status.readAll());
    return match.captured(1).toLongLong() * 1024;
}

TEST(FtpFault, AnEndlessListingLineIsCutAndTheListingEndsWithinItsBounds)
{
    ScriptedServer server(ServerScript{.endlessListLine = true});
    FtpComponent ftp;
    Connect(ftp, server.port());
    EventLog log(ftp);
    const qint64 before = ResidentBytes();
    qint64 peak = before;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, ResidentBytes()); });
    sampler.start(10);
    const FtpError error = FailureOf([&] { ftp.List(); });
    EXPECT_EQ(error.number, ftp_errors::TooLong);
    EXPECT_TRUE(error.description.contains("cut")) << error.description;
    EXPECT_LT(peak - before, 64 * 1024 * 1024);
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_EQ(log.lines.first().size(), 8 * 1024);
    EXPECT_EQ(ftp.State(), 1);
}

// A listing arrives far faster than its rows are made: the window thread
// still gets its turns (a repaint, Stop) while the lines are delivered.
TEST(FtpFault, ALongListingLeavesTheWindowThreadItsTurns)
{
    constexpr int kLines = 10000;
    QByteArray listing;
    for (int i = 0; i < kLines; ++i)
        listing += "-rw-r--r--   1 owner group 5 Jan  5 12:00 f" + QByteArray::number(i) + ".jpg\r\n";
    ScriptedServer server(ServerScript{.listing = listing});
    FtpComponent ftp;
    Connect(ftp, server.port());
    int delivered = 0;
    QObject::connect(&ftp, &FtpComponent::ListEntry, [&] {
        ++delivered;
        QElapsedTimer row;   // a row takes 10 us to make: 100 ms for the listing
        row.start();
        while (row.nsecsElapsed() < 10000) {
        }
    });
    // The window thread is held up until the whole listing has reached it;
    // then a timer asks for its turn.
    std::optional<int> deliveredAtTurn;
    QTimer::singleShot(0, [&] {
        QThread::msleep(300);
        QTimer::singleShot(0, [&] { deliveredAtTurn = delivered; });
    });
    ftp.List();
    EXPECT_GE(delivered, kLines);
    ASSERT_TRUE(deliveredAtTurn.has_value()) << "the timer had no turn during the listing";
    EXPECT_LT(*deliveredAtTurn, kLines);
}

// A machine in the middle that answers the data connections shows a
// certificate of its own: no listing row, no byte of a file either way.
// A download stopped after the server had said 226, whose ABOR is answered
// late, as over a slow link: each later command reads its own reply.
TEST(FtpFault, ALateAnswerToAbortIsNeverTakenForTheNextCommandsReply)
{
    const QByteArray bytes = RandomBytes(1000000);
    ScriptedServer server({.file = bytes, .dripBytes = 50000, .dripEveryMs = 20, .modified = "20260102030405",
                           .aborReplyDelayMs = 300, .completeBeforeData = true});
    FtpComponent ftp;
    Connect(ftp, server.port());
    QTemporaryDir local;
    QObject::connect(&ftp, &FtpComponent::Progress, &ftp, [&ftp] { ftp.Stop(); });
    EXPECT_EQ(FailureOf([&] { ftp.GetFile("photo.jpg", local.filePath("photo.jpg")); }).number, ftp_errors::Stopped);
    EXPECT_EQ(ftp.SizeOf("photo.jpg"), bytes.size());
    EXPECT_EQ(ftp.ModifiedTime("photo.jpg"), QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
    EXPECT_EQ(ftp.State(), 1);
}

TEST(FtpOverTls, DataConnectionsShowingAnotherCertificateMoveNothing)
{
    QTemporaryDir keys;
    const TestCertificate trusted = MakeCertificate(keys.path(), QStringLiteral("trusted"));
    const TestCertificate foreign = MakeCertificate(keys.path(), QStringLiteral("foreign"));
    FtpServerFixture server(0, {"--tls-cert", trusted.pem, "--tls-required", "--tls-data-cert", foreign.pem});
    ASSERT_TRUE(server.running()) << server.error();
    ASSERT_TRUE(WriteFile(server.root() + "/pic.jpg", RandomBytes(64 * 1024)));
    QTemporaryDir local;
    ASSERT_TRUE(WriteFile(local.filePath("up.jpg"), RandomBytes(64 * 1024)));

    FtpComponent ftp;
    ftp.setTrustQuestion([](const ServerCertificate&) { return true; });
    EventLog log(ftp);
    Connect(ftp, server.port(), server.password(), server.user(), QStringLiteral("ftps://"));
    const std::pair<const char*, std::function<void()>> transfers[] = {
        {"List", [&] { ftp.List(); }},
        {"GetFile", [&] { ftp.GetFile("pic.jpg", local.filePath("pic.jpg")); }},
        {"PutFile", [&] { ftp.PutFile(local.filePath("up.jpg"), "up.jpg"); }},
    };
    for (const auto& [what, transfer] : transfers) {
        SCOPED_TRACE(what);
        const FtpError failure = FailureOf(transfer);
        EXPECT_EQ(failure.number, ftp_errors::ForeignData) << failure.description;
        EXPECT_TRUE(failure.description.contains(foreign.fingerprint) && failure.description.contains(trusted.fingerprint))
            << failure.description;
        EXPECT_EQ(ftp.State(), 1) << "the trusted control connection stays";
    }
    EXPECT_TRUE(log.lines.isEmpty()) << log.lines.join('\n');
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"up.jpg"});
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files | QDir::Hidden), QStringList{"pic.jpg"})
        << "no byte of the upload went out, and no empty copy stays";
    ftp.setCommand("NOOP");
    ftp.SendCommand();
    EXPECT_TRUE(ftp.Reply().startsWith("200")) << ftp.Reply();
}

TEST(ServerRefusal, OnlyAServerReplyCodeIsARefusal)
{
    const std::pair<int, bool> cases[] = {
        {399, false}, {400, true}, {550, true}, {599, true}, {600, false},
        {ftp_errors::NoRowSelected, false}, {ftp_errors::NotConnected, false}, {ftp_errors::Stopped, false},
    };
    for (const auto& [number, refusal] : cases)
        EXPECT_EQ(IsServerRefusal(FtpError(number, QString())), refusal) << number;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
