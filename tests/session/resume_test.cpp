// A connection that drops comes back by itself: after an idle drop, on the
// next call; while idle, kept alive by NOOP when asked to.

#include "session/ftp_component.h"
#include "session/kept_download.h"
#include "session/transfer_meter.h"
#include "session/transport.h"
#include "support/raw_files.h"
#include "support/files.h"
#include "support/ftp_server_fixture.h"
#include "support/qt_printers.h"
#include "support/scripted_server.h"
#include "support/window_helpers.h"

#include <QAction>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>

using namespace quillmar;
using namespace quillmar::test;

namespace {

constexpr int EventWaitMs = 10000;
constexpr auto QuickPause = std::chrono::milliseconds(10);

bool WaitForDrop(FtpComponent& ftp)
{
    return QTest::qWaitFor([&] { return ftp.State() == 0; }, EventWaitMs);
}

// The commands the server received after its n-th login (1 the first).
QStringList AfterLogin(const QStringList& commands, int n)
{
    qsizetype at = -1;
    for (int seen = 0; seen < n; ++seen) {
        at = commands.indexOf(QRegularExpression("PASS .*"), at + 1);   // matches whole lines
        if (at < 0)
            return {};
    }
    return commands.mid(at + 1);
}

}  // namespace

// After the server closed an idle connection (with or without 421 first),
// the next call logs in again, goes back to the folder and runs.
TEST(IdleDrop, TheNextCallReconnectsToTheSameFolderAndRuns)
{
    for (const bool say421 : {true, false}) {
        SCOPED_TRACE(say421);
        ScriptedServer server({.hangUpWhenIdleMs = 300, .say421 = say421, .idleHangUpOnce = true,
                               .listing = "-rw-r--r-- 1 owner group 5 Jan 01 2026 a.jpg\r\n"});
        FtpComponent ftp;
        Connect(ftp, server.port());
        ftp.ChangeDir(QStringLiteral("shop/pics"));
        ASSERT_TRUE(WaitForDrop(ftp));
        EXPECT_TRUE(ftp.Reconnectable());
        QSignalSpy reconnected(&ftp, &FtpComponent::Reconnected);
        QSignalSpy entries(&ftp, &FtpComponent::ListEntry);
        ftp.List();
        EXPECT_EQ(ftp.State(), 1);
        EXPECT_EQ(reconnected.count(), 1);
        EXPECT_EQ(entries.count(), 1);
        const QStringList again = AfterLogin(server.commands(), 2);
        EXPECT_EQ(again.filter(QRegularExpression("^(CWD|LIST)")), (QStringList{"CWD shop/pics", "LIST -a"})) << again.join('|');
    }
}

// A handler of the drop may call at once: the call's own events reach it
// while the drop's event is still being handled.
TEST(IdleDrop, AHandlerOfTheDropMayCallAtOnce)
{
    ScriptedServer server({.hangUpWhenIdleMs = 300, .idleHangUpOnce = true,
                           .listing = "-rw-r--r-- 1 owner group 5 Jan 01 2026 a.jpg\r\n"});
    FtpComponent ftp;
    Connect(ftp, server.port());
    std::optional<qsizetype> entries;
    QObject::connect(&ftp, &FtpComponent::StateChanged, [&](int connected) {
        if (connected != 0 || entries)
            return;
        QSignalSpy listed(&ftp, &FtpComponent::ListEntry);
        ftp.List();
        entries = listed.count();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return entries.has_value(); }, EventWaitMs)) << "the call from the handler never ended";
    EXPECT_EQ(*entries, 1);
    EXPECT_EQ(ftp.State(), 1);
}

// Only a drop by the server comes back: a login refused on the way back ends
// it with the server's refusal (a Quit staying is the component tests').
TEST(IdleDrop, ALoginRefusedOnTheWayBackLeavesNoConnection)
{
    ScriptedServer server({.hangUpWhenIdleMs = 300, .refuseLoginsFrom = 2});
    FtpComponent ftp;
    Connect(ftp, server.port());
    ASSERT_TRUE(WaitForDrop(ftp));
    const FtpError first = FailureOf([&] { ftp.List(); });
    EXPECT_EQ(first.number, 530) << first.description;
    EXPECT_TRUE(first.description.contains("refused the login")) << first.description;
    EXPECT_FALSE(ftp.Reconnectable());
    EXPECT_EQ(FailureOf([&] { ftp.List(); }).number, ftp_errors::NotConnected);
    EXPECT_EQ(server.commands().filter(QRegularExpression("^PASS ")).size(), 2);
}

// Against a server that hangs up after a short idle time, keep-alive NOOPs
// keep the connection; none goes out while a transfer runs.
TEST(KeepAlive, NoopWhileIdleKeepsTheConnectionAndNeverMeetsATransfer)
{
    QTemporaryDir local;
    ScriptedServer server({.file = QByteArray(40000, 'k'), .hangUpWhenIdleMs = 600, .dripBytes = 4000,
                           .dripEveryMs = 100});
    FtpComponent ftp;
    ftp.setKeepAlive(std::chrono::milliseconds(100));
    Connect(ftp, server.port());
    auto noops = [&] { return server.commands().count(QStringLiteral("NOOP")); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return noops() >= 5; }, EventWaitMs)) << noops();
    EXPECT_EQ(ftp.State(), 1) << "kept alive past the server's idle time";

    QStringList seenDuringTransfer;   // as a report from well before the end arrives
    QObject::connect(&ftp, &FtpComponent::Progress, [&](qint64 bytes) {
        if (bytes < 30000)
            seenDuringTransfer = server.commands();
    });
    ftp.GetFile(QStringLiteral("pic.jpg"), local.filePath("pic.jpg"));
    EXPECT_EQ(ReadFile(local.filePath("pic.jpg")), QByteArray(40000, 'k'));
    ASSERT_FALSE(seenDuringTransfer.isEmpty());
    EXPECT_EQ(seenDuringTransfer.last(), QStringLiteral("RETR pic.jpg")) << "nothing was sent while it ran";
    const int before = noops();
    EXPECT_TRUE(QTest::qWaitFor([&] { return noops() > before; }, EventWaitMs)) << "idle again, NOOPs resume";

    ftp.setKeepAlive(std::chrono::milliseconds::zero());
    EXPECT_TRUE(WaitForDrop(ftp)) << "without keep-alive the server's idle time ends it";
}

TEST(ResumeText, NamesTheFileHowFarAndWhichTry)
{
    EXPECT_EQ(ResumingText("photo.jpg", 41, 100, 2, 3), "Connection lost; resuming photo.jpg at 41 % (try 2 of 3)");
    EXPECT_EQ(ResumingText("a.jpg", 5000, 0, 1, 3), "Connection lost; resuming a.jpg at 5000 bytes (try 1 of 3)");
}

// A download the connection breaks goes on from where its bytes stopped
// (REST), or from zero where the server will not; the window hears of no
// disconnect meanwhile, and three breaks more than the tries end it with
// the old local copy untouched.
TEST(ResumeDownload, ContinuesFromTheBrokenByteOrGivesUpCleanly)
{
    const QByteArray bytes = RandomBytes(300000);
    const std::tuple<const char*, ServerScript, int> cases[] = {   // number, -1: arrives whole
        {"dropped once", {.file = bytes, .dropAfterBytes = 100000}, -1},
        {"dropped once, no REST", {.file = bytes, .dropAfterBytes = 100000, .refuseRest = true}, -1},
        {"dropped on every try", {.file = bytes, .dropAfterBytes = 100000, .drops = 4}, ftp_errors::Network},
    };
    for (const auto& [name, script, number] : cases) {
        SCOPED_TRACE(name);
        ScriptedServer server(script);
        QTemporaryDir local;
        const QString target = local.filePath("photo.jpg");
        ASSERT_TRUE(WriteFile(target, "old picture"));
        FtpComponent ftp;
        ftp.setResumePolicy(3, QuickPause);
        Connect(ftp, server.port());
        QSignalSpy states(&ftp, &FtpComponent::StateChanged);
        QSignalSpy resuming(&ftp, &FtpComponent::Resuming);
        const FtpError error = FailureOf([&] { ftp.GetFile("photo.jpg", target); });
        EXPECT_EQ(error.number, number) << error.description;
        EXPECT_TRUE(ReadFile(target) == (number == -1 ? bytes : QByteArray("old picture")));
        EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"photo.jpg"});
        EXPECT_TRUE(server.commands().contains("REST 100000")) << server.commands().join('|');
        ASSERT_GE(resuming.count(), 1);
        EXPECT_EQ(resuming.first(), (QVariantList{"photo.jpg", qint64(100000), 1, 3}));
        if (number == -1) {
            EXPECT_EQ(resuming.count(), 1);
            EXPECT_EQ(states.count(), 0) << "for the window the connection never ended";
            EXPECT_EQ(ftp.State(), 1);
        } else {
            EXPECT_EQ(resuming.count(), 3);
            EXPECT_EQ(server.dataConnections(), 4);
            EXPECT_TRUE(error.description.contains("tried again 3 times")) << error.description;
            EXPECT_EQ(states.count(), 1);
            EXPECT_EQ(ftp.State(), 0);
        }
    }
}

// An upload the connection breaks goes on in its temporary file: REST STOR
// after SIZE, else APPE, else the whole file again; then the rename. Breaks
// past the tries leave the server's old copy and no temporary file.
TEST(ResumeUpload, ContinuesTheTemporaryFileOrGivesUpWithoutDamage)
{
    const QByteArray bytes = RandomBytes(1000000);
    const std::tuple<const char*, ServerScript, QString, int> cases[] = {   // the retry's transfer commands, number
        {"REST STOR", {.dropAfterBytes = 300000}, "SIZE|REST 300000|STOR", -1},
        {"APPE", {.dropAfterBytes = 300000, .refuseRest = true}, "SIZE|REST 300000|APPE", -1},
        {"neither", {.dropAfterBytes = 300000, .refuseRest = true, .refuseAppe = true}, "SIZE|REST 300000|APPE|STOR", -1},
        {"dropped on every try", {.dropAfterBytes = 150000, .drops = 4}, "SIZE|REST 150000|STOR", ftp_errors::Network},
    };
    for (auto [name, script, retry, number] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir remote, local;
        script.folder = remote.path();
        ScriptedServer server(script);
        ASSERT_TRUE(WriteFile(remote.filePath("photo.jpg"), "old picture"));
        ASSERT_TRUE(WriteFile(local.filePath("photo.jpg"), bytes));
        FtpComponent ftp;
        ftp.setResumePolicy(3, QuickPause);
        Connect(ftp, server.port());
        const FtpError error = FailureOf([&] { ftp.PutFile(local.filePath("photo.jpg"), "photo.jpg"); });
        EXPECT_EQ(error.number, number) << error.description;
        EXPECT_EQ(ftp.State(), number == -1 ? 1 : 0);
        EXPECT_TRUE(ReadFile(remote.filePath("photo.jpg")) == (number == -1 ? bytes : QByteArray("old picture")));
        // A temporary file the lost connection left is removed over a connection of its own.
        EXPECT_TRUE(QTest::qWaitFor([&] { return QDir(remote.path()).entryList(QDir::Files | QDir::Hidden) == QStringList{"photo.jpg"}; },
                                    EventWaitMs))
            << QDir(remote.path()).entryList(QDir::Files | QDir::Hidden).join('|');
        // The try after the first break, from the second login on: the
        // server's part is measured first.
        const QStringList retried = AfterLogin(server.commands(), 2);
        QString tried = retried.filter(QRegularExpression("^(SIZE|REST|STOR|APPE) ")).join('|') + '|';
        tried.replace(QRegularExpression("(SIZE|STOR|APPE) [^|]*"), "\\1");   // without their names
        EXPECT_TRUE(tried.startsWith(retry + '|')) << retried.join('|');
    }
}

// A straight upload whose first try breaks before its STOR: the name still
// holds the server's old copy, which the retry must not go on from, whether
// that copy is shorter than, as long as or longer than the new one.
TEST(ResumeUpload, AStraightUploadBrokenBeforeItsDataStartsOver)
{
    const QByteArray bytes = RandomBytes(200000);
    const std::pair<const char*, QByteArray> olds[] = {
        {"shorter", QByteArray(50000, 'o')}, {"as long", QByteArray(200000, 'o')}, {"longer", QByteArray(250000, 'o')}};
    for (const auto& [name, old] : olds) {
        SCOPED_TRACE(name);
        QTemporaryDir remote, local;
        ScriptedServer server({.folder = remote.path(), .hangUpOnPassive = 1});
        ASSERT_TRUE(WriteFile(remote.filePath("photo.jpg"), old));
        ASSERT_TRUE(WriteFile(local.filePath("photo.jpg"), bytes));
        FtpComponent ftp;
        ftp.setResumePolicy(3, QuickPause);
        Connect(ftp, server.port());
        const FtpError error = FailureOf([&] { ftp.PutFileStraight(local.filePath("photo.jpg"), "photo.jpg"); });
        EXPECT_EQ(error.number, -1) << error.description;
        EXPECT_TRUE(ReadFile(remote.filePath("photo.jpg")) == bytes) << server.commands().join('|');
    }
}

// Stop during the pause before a try ends the transfer at once.
// The transport's part-way transfers against a real server: the tail of a
// download from an offset and the rest of an upload onto what the server
// holds.
TEST(ResumeTransport, PartWayTransfersAgainstARealServer)
{
    FtpServerFixture server;
    ASSERT_TRUE(server.running()) << server.error();
    const QByteArray bytes = RandomBytes(300000);
    constexpr qint64 Offset = 100000;
    ASSERT_TRUE(WriteFile(server.root() + "/pic.jpg", bytes));
    ASSERT_TRUE(WriteFile(server.root() + "/up.jpg", bytes.left(Offset)));
    const auto t = MakeTransport(QStringLiteral("ftp"), {}, {});
    t->connect({server.host(), server.port(), server.user(), server.password()});

    QByteArray received;
    const auto down = t->getFrom("pic.jpg", Offset, {[&](const char* p, qint64 n) { received.append(p, n); return true; }, {}, {}});
    ASSERT_TRUE(down.has_value());
    EXPECT_EQ(*down, TransferEnd::Complete);
    EXPECT_TRUE(received == bytes.mid(Offset)) << received.size();

    qint64 sent = Offset;
    const auto up = t->putFrom({{}, [&](char* p, qint64 n) {
                                    const qint64 step = std::min(n, bytes.size() - sent);
                                    std::memcpy(p, bytes.constData() + sent, std::size_t(step));
                                    sent += step;
                                    return step;
                                }, {}},
                               "up.jpg", Offset);
    ASSERT_TRUE(up.has_value());
    EXPECT_EQ(*up, TransferEnd::Complete);
    EXPECT_TRUE(ReadFile(server.root() + "/up.jpg") == bytes);
    t->quit();
}

TEST(ResumeDownload, StopDuringThePauseEndsAtOnce)
{
    ScriptedServer server({.file = RandomBytes(300000), .dropAfterBytes = 100000});
    QTemporaryDir local;
    FtpComponent ftp;
    ftp.setResumePolicy(3, std::chrono::minutes(1));
    Connect(ftp, server.port());
    QObject::connect(&ftp, &FtpComponent::Resuming, &ftp, [&] { ftp.Stop(); }, Qt::QueuedConnection);
    QElapsedTimer call;
    call.start();
    EXPECT_EQ(FailureOf([&] { ftp.GetFile("photo.jpg", local.filePath("photo.jpg")); }).number, ftp_errors::Stopped);
    EXPECT_LT(call.elapsed(), 30000) << "the minute's pause did not run out";
    EXPECT_EQ(server.dataConnections(), 1);
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// In the window: the server closes the idle connection, Refresh lists the
// same folder again with no message, and the status line says why; then a
// download of two files whose first transfer breaks says so on the status
// line and brings both whole; the keep-alive option is off by default and
// kept in the settings.
TEST(ResumeWindow, AnIdleDropAndABrokenDownloadGoOnWithoutAMessage)
{
    const QByteArray bytes = RandomBytes(300000);
    const QStringList rows{"a.jpg", "b.jpg"};
    ScriptedServer server({.file = bytes, .hangUpWhenIdleMs = 800, .idleHangUpOnce = true,
                           .listing = "-rw-r--r-- 1 owner group 300000 Jan 01 2026 a.jpg\r\n"
                                      "-rw-r--r-- 1 owner group 300000 Jan 01 2026 b.jpg\r\n",
                           .dropAfterBytes = 100000});
    WindowRig rig;
    OpenOnScriptedServer(rig, server);
    FtpComponent& ftp = rig.form->ftp();
    ASSERT_EQ(RowTexts(rig), rows);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.panel(2) == QStringLiteral("Disconnected"); }, EventWaitMs));
    ASSERT_EQ(RowTexts(rig), QStringList());
    EXPECT_EQ(SavedListing(rig, QString()), ListingHeader(Loopback(server.port())) + "a.jpg\r\nb.jpg\r\n")
        << "the listing shown is kept at the drop";
    QStringList listingStatuses, resumeStatuses;
    QObject::connect(&ftp, &FtpComponent::ListEntry, [&] { listingStatuses.append(rig.panel(1)); });
    QObject::connect(&ftp, &FtpComponent::Resuming, [&] { resumeStatuses.append(rig.panel(1)); });
    rig.find<QAction>("mnuRefresh")->trigger();
    EXPECT_EQ(RowTexts(rig), rows);
    EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
    EXPECT_EQ(rig.light(), "green");
    ASSERT_FALSE(listingStatuses.isEmpty());
    EXPECT_TRUE(listingStatuses.first().contains(QStringLiteral("reconnected to 127.0.0.1:%1").arg(server.port())))
        << listingStatuses.first().toStdString();

    ftp.setResumePolicy(3, QuickPause);
    rig.form->state().GotFocus = FocusSide::Server;
    SelectRows(rig, rows);
    rig.find<QAction>("mnuDownload")->trigger();
    EXPECT_EQ(resumeStatuses, QStringList{"Status: Connection lost; resuming a.jpg at 33 % (try 1 of 3)"});
    EXPECT_EQ(ReadFile(rig.localFolder.filePath("a.jpg")), bytes);
    EXPECT_EQ(ReadFile(rig.localFolder.filePath("b.jpg")), bytes);
    EXPECT_TRUE(rig.dialogs.calls().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));

    auto* keepAlive = rig.find<QAction>("mnuKeepAlive");
    ASSERT_NE(keepAlive, nullptr);
    EXPECT_TRUE(keepAlive->isCheckable() && !keepAlive->isChecked()) << "keep-alive is off by default";
    keepAlive->trigger();
    rig.close();
    EXPECT_TRUE(QSettings(rig.settingsFile(), QSettings::IniFormat).value(QStringLiteral("Transfers/KeepAlive")).toBool());
    rig.open();
    EXPECT_TRUE(rig.find<QAction>("mnuKeepAlive")->isChecked());
}

// The server closes the idle connection while the first replace or delete
// question waits, which empties the list: the command goes on with the
// files as they were chosen, and asks about each one as it would have.
TEST(ResumeWindow, AnIdleDropWhileAQuestionWaitsLeavesTheChosenFilesAsChosen)
{
    const QByteArray fetched = RandomBytes(3000);
    using Choice = Dialogs::ConfirmChoice;
    struct Case {
        const char* command;
        QByteArray remoteA, remoteB, localA, localB;   // afterwards; "-": gone
    };
    const Case cases[] = {
        {"download", "old a", "old b", fetched, "new b!"},
        {"upload", "new a!", "old b", "new a!", "new b!"},
        {"delete", "-", "old b", "new a!", "new b!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        QTemporaryDir remote;
        WriteFile(remote.filePath("a.jpg"), "old a");
        WriteFile(remote.filePath("b.jpg"), "old b");
        ScriptedServer server({.file = fetched, .hangUpWhenIdleMs = 1500, .idleHangUpOnce = true, .folder = remote.path()});
        WindowRig rig;
        WriteFile(rig.localFolder.filePath("a.jpg"), "new a!");
        WriteFile(rig.localFolder.filePath("b.jpg"), "new b!");
        OpenOnScriptedServer(rig, server);
        ASSERT_EQ(RowTexts(rig), (QStringList{"a.jpg", "b.jpg"}));
        bool dropped = false;
        rig.dialogs.onCall = [&](const ScriptedDialogs::Call&) {
            if (!std::exchange(dropped, true))
                EXPECT_TRUE(QTest::qWaitFor([&] { return rig.panel(2) == QStringLiteral("Disconnected"); }, EventWaitMs));
        };
        rig.dialogs.queueConfirm(Choice::Yes);
        rig.dialogs.queueConfirm(Choice::No);
        if (QLatin1String(c.command) == QLatin1String("upload")) {
            SelectLocalFiles(rig, {"a.jpg", "b.jpg"});
            rig.form->Upload();
        } else {
            rig.form->state().GotFocus = FocusSide::Server;
            SelectRows(rig, {"a.jpg", "b.jpg"});
            rig.find<QAction>(QLatin1String(c.command) == QLatin1String("download") ? "mnuDownload" : "mnuDelete")->trigger();
        }
        EXPECT_EQ(rig.dialogs.confirmTexts().size(), 2) << rig.dialogs.confirmTexts().join('|').toStdString();
        EXPECT_TRUE(rig.dialogs.confirmTexts().value(1).contains("b.jpg")) << rig.dialogs.confirmTexts().join('|').toStdString();
        EXPECT_TRUE(rig.dialogs.messageTexts().isEmpty()) << rig.dialogs.messageTexts().join('|').toStdString();
        const auto expectFile = [](const QString& path, const QByteArray& bytes) {
            if (bytes == "-")
                EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
            else
                EXPECT_EQ(ReadFile(path), bytes) << path.toStdString();
        };
        expectFile(remote.filePath("a.jpg"), c.remoteA);
        expectFile(remote.filePath("b.jpg"), c.remoteB);
        expectFile(rig.localFolder.filePath("a.jpg"), c.localA);
        expectFile(rig.localFolder.filePath("b.jpg"), c.localB);
    }
}

namespace {

// The hidden files a download left beside its target.
QStringList HiddenLeftovers(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\."));
}

qint64 PartFileSize(const QString& folder)
{
    const QStringList parts = HiddenLeftovers(folder).filter(QRegularExpression("\\.part$"));
    return parts.size() == 1 ? QFileInfo(QDir(folder).filePath(parts.first())).size() : -1;
}

}  // namespace

// A download whose retries ran out keeps its part; the next download of the
// same file from the same place, by a new component, goes on from it (REST)
// when the person agrees and the server's size and date are unchanged, and
// otherwise starts again from zero and brings the server's file as it is now.
TEST(KeptDownloadAcrossRestart, GoesOnOnlyForTheSameServerFileAndAYes)
{
    const QByteArray bytes = RandomBytes(2 * KeepPartFrom);
    const QByteArray date = "20260101120000";
    // On the server the second time: the file and its date; the answer to the
    // question, and whether it comes.
    const std::tuple<const char*, QByteArray, QByteArray, bool, bool> cases[] = {
        {"same file, yes", bytes, date, true, true},
        {"same file, no", bytes, date, false, true},
        {"other date", bytes, "20260102120000", true, false},
        {"other size", bytes + "more", date, true, false},
    };
    for (const auto& [name, file, modified, answer, asked] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir local;
        const QString target = local.filePath("photo.jpg");
        int port = 0;
        {
            ScriptedServer cutting({.file = bytes, .dropAfterBytes = 700000, .drops = 2, .modified = date});
            port = cutting.port();
            FtpComponent ftp;
            ftp.setResumePolicy(1, QuickPause);
            Connect(ftp, port);
            const FtpError error = FailureOf([&] { ftp.GetFile("photo.jpg", target); });
            EXPECT_EQ(error.number, ftp_errors::Network) << error.description;
            EXPECT_TRUE(error.description.contains("is kept")) << error.description;
        }
        const qint64 partSize = PartFileSize(local.path());
        ASSERT_GT(partSize, 0) << HiddenLeftovers(local.path()).join('|');
        EXPECT_FALSE(QFile::exists(target));

        ScriptedServer again({.port = port, .file = file, .modified = modified});
        ASSERT_TRUE(again.running());
        FtpComponent ftp;
        QList<QVariantList> questions;
        ftp.setResumeQuestion([&](const QString& asking, qint64 have, qint64 total) {
            questions.append({asking, have, total});
            return answer;
        });
        Connect(ftp, port);
        ftp.GetFile("photo.jpg", target);
        EXPECT_TRUE(ReadFile(target) == file);
        const QList<QVariantList> expected{{"photo.jpg", partSize, qint64(bytes.size())}};
        EXPECT_EQ(questions, asked ? expected : QList<QVariantList>());
        EXPECT_EQ(again.commands().filter(QRegularExpression("^REST ")),
                  asked && answer ? QStringList{QStringLiteral("REST %1").arg(partSize)} : QStringList());
        EXPECT_EQ(HiddenLeftovers(local.path()), QStringList()) << "neither part nor record stays";
    }
}

// Closing the window during a download keeps its part; the next window asks
// through the Dialogs seam and goes on from there.
TEST(KeptDownloadAcrossRestart, AWindowClosedMidDownloadOffersToGoOn)
{
    const QByteArray bytes = RandomBytes(2 * KeepPartFrom);
    ScriptedServer server({.file = bytes,
                           .dripBytes = 64 * 1024,
                           .dripEveryMs = 20,
                           .listing = "-rw-r--r-- 1 owner group 2097152 Jan 01 2026 photo.jpg\r\n",
                           .modified = "20260101120000"});
    WindowRig rig;
    OpenOnScriptedServer(rig, server);
    QObject::connect(&rig.form->ftp(), &FtpComponent::Progress, rig.form.get(), [&](qint64 moved) {
        if (moved > 0)
            QMetaObject::invokeMethod(rig.form.get(), &QWidget::close, Qt::QueuedConnection);
    });
    SelectRows(rig, {"photo.jpg"});
    rig.find<QAction>("mnuDownload")->trigger();
    rig.close();
    const qint64 partSize = PartFileSize(rig.localFolder.path());
    ASSERT_GT(partSize, 0) << HiddenLeftovers(rig.localFolder.path()).join('|');
    ASSERT_LT(partSize, bytes.size());

    rig.dialogs.clear();
    rig.open().Connect();
    SelectRows(rig, {"photo.jpg"});
    rig.find<QAction>("mnuDownload")->trigger();
    EXPECT_TRUE(ReadFile(rig.localFolder.filePath("photo.jpg")) == bytes);
    ASSERT_EQ(rig.dialogs.calls().size(), 1) << rig.dialogs.messageTexts().join('|').toStdString();
    const ScriptedDialogs::Call& asked = rig.dialogs.calls().first();
    EXPECT_EQ(asked.kind, ScriptedDialogs::Kind::Question);
    EXPECT_TRUE(asked.text.startsWith("photo.jpg was partly downloaded before (") &&
                asked.text.endsWith(" of 2.0 MB). Continue where it stopped?"))
        << asked.text.toStdString();
    EXPECT_EQ(asked.defaultAnswer, Dialogs::Answer::Yes);
    EXPECT_TRUE(server.commands().contains(QStringLiteral("REST %1").arg(partSize))) << server.commands().join('|');
    EXPECT_EQ(HiddenLeftovers(rig.localFolder.path()), QStringList());
}

// While a download runs, its part and record are on the disk, as a killed
// program leaves them; Stop means the person does not want the file, and
// nothing is kept for later.
TEST(KeptDownloadAcrossRestart, RecordedWhileRunningAndStopKeepsNothing)
{
    ScriptedServer server({.file = RandomBytes(2 * KeepPartFrom), .dripBytes = 64 * 1024, .dripEveryMs = 20,
                           .modified = "20260101120000"});
    QTemporaryDir local;
    FtpComponent ftp;
    Connect(ftp, server.port());
    QStringList whileRunning;
    std::optional<KeptDownload> record;
    QObject::connect(&ftp, &FtpComponent::Progress, &ftp, [&] {
        whileRunning = HiddenLeftovers(local.path());
        record = LoadKeptDownload(KeptDownloadRecordPath(local.filePath("photo.jpg")));
        ftp.Stop();
    }, Qt::QueuedConnection);
    EXPECT_EQ(FailureOf([&] { ftp.GetFile("photo.jpg", local.filePath("photo.jpg")); }).number, ftp_errors::Stopped);
    ASSERT_EQ(whileRunning.size(), 2) << whileRunning.join('|');
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->part, whileRunning.filter(QRegularExpression("\\.part$")).value(0));
    EXPECT_EQ(record->site, QStringLiteral("ftp://demo@127.0.0.1:%1").arg(server.port()));
    EXPECT_EQ(record->modified, QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC));
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// A second download of the same file into the same folder while the first
// still runs (a second window) leaves the first one's part alone.
TEST(KeptDownloadAcrossRestart, ASecondDownloadLeavesARunningOnesPartAlone)
{
    const QByteArray bytes = RandomBytes(2 * KeepPartFrom);
    ScriptedServer slow({.file = bytes, .dripBytes = 64 * 1024, .dripEveryMs = 20, .modified = "20260101120000"});
    ScriptedServer quick({.file = bytes, .modified = "20260101120000"});
    QTemporaryDir local;
    const QString target = local.filePath("photo.jpg");
    FtpComponent first, second;
    Connect(first, slow.port());
    Connect(second, quick.port());
    std::optional<FtpError> secondEnd;
    QObject::connect(&first, &FtpComponent::Progress, &first, [&] {
        if (!secondEnd)
            secondEnd = FailureOf([&] { second.GetFile("photo.jpg", target); });
    }, Qt::QueuedConnection);
    const FtpError firstEnd = FailureOf([&] { first.GetFile("photo.jpg", target); });
    EXPECT_EQ(firstEnd.number, -1) << firstEnd.description;
    ASSERT_TRUE(secondEnd.has_value());
    EXPECT_EQ(secondEnd->number, -1) << secondEnd->description;
    EXPECT_TRUE(ReadFile(target) == bytes);
    EXPECT_EQ(HiddenLeftovers(local.path()), QStringList());
}
