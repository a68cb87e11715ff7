// The FTP component and the listing rules against real servers: vsftpd,
// proftpd, pure-ftpd and sshd (each with a throw-away configuration and
// account) and pyftpdlib, over a home folder holding the names web sites
// have trouble with; and TLS 1.3 transfers against the servers that speak it.

#include "session/ftp_component.h"
#include "session/listing.h"
#include "session/transport.h"
#include "support/ftp_daemon_fixture.h"
#include "support/ftp_server_fixture.h"
#include "support/qt_printers.h"
#include "support/raw_files.h"
#include "support/test_certificate.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace quillmar;
using namespace quillmar::test;

namespace {

const QString kPyftpdlib = QStringLiteral("pyftpdlib");
const QString kSshd = QStringLiteral("sshd");

// Names go to the file system as raw bytes: two of them are Latin-1.
const QByteArray kFileNames[] = {
    "a  b.txt", " leading.txt", "trailing.txt ", "-dash.txt", "caf\xc3\xa9.jpg", "\xe5\x86\x99\xe7\x9c\x9f.jpg",
    "r\xe9sum\xe9.txt", "na\xefve.txt", ".htaccess", "empty.txt",
};
constexpr qint64 kSparseSize = 3LL << 30;

QByteArray ContentOf(const QByteArray& name) { return ::ContentOf(name, 3000); }

void FillHome(const QByteArray& root)
{
    for (const QByteArray& name : kFileNames)
        ASSERT_TRUE(WriteRaw(root + '/' + name, ContentOf(name))) << name.constData();
    ASSERT_EQ(::mkdir(In(root, "realdir").constData(), 0755), 0);
    ASSERT_TRUE(WriteRaw(root + "/realdir/inside.txt", "inside"));
    ASSERT_EQ(::symlink("-dash.txt", In(root, "linkfile").constData()), 0);
    ASSERT_EQ(::symlink("realdir", In(root, "linkdir").constData()), 0);
    QFile sparse(QFile::decodeName(In(root, "sparse.bin")));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(kSparseSize));
}

std::string ParamName(const ::testing::TestParamInfo<QString>& info)
{
    return QString(info.param).remove(u'-').toStdString();
}

// One server of each kind with the home folder filled.
class RealServer : public ::testing::TestWithParam<QString> {
protected:
    void SetUp() override
    {
        if (GetParam().startsWith(kPyftpdlib)) {
            const QStringList tls = tls_ ? QStringList{"--tls-cert", MakeCertificate(work_.path(), QStringLiteral("server")).pem,
                                                       "--tls-required"}
                                         : QStringList();
            pyftpdlib_ = std::make_unique<FtpServerFixture>(0, tls);
            ASSERT_TRUE(pyftpdlib_->running()) << pyftpdlib_->error().toStdString();
            root_ = QFile::encodeName(pyftpdlib_->root());
            FillHome(root_);
            return;
        }
        if (::geteuid() != 0)
            GTEST_SKIP() << "the real FTP daemons need root";
        daemon_ = std::make_unique<FtpDaemonFixture>(GetParam());
        root_ = QFile::encodeName(daemon_->root());
        FillHome(root_);
        QString error;
        ASSERT_TRUE(daemon_->start(&error)) << error.toStdString();
    }

    // Names that are not UTF-8 are beyond QTemporaryDir's clean-up.
    void TearDown() override
    {
        for (const QByteArray& name : kFileNames)
            ::unlink(In(root_, name).constData());
    }

    // sshd's host key and the TLS servers' certificates are taken on trust.
    void connect()
    {
        ftp.setTrustQuestion([this](const ServerCertificate& certificate) {
            asked = certificate;
            return true;
        });
        const QString scheme = GetParam() == kSshd ? QStringLiteral("sftp://") : tls_ ? QStringLiteral("ftps://") : QString();
        if (pyftpdlib_)
            Connect(ftp, pyftpdlib_->port(), pyftpdlib_->password(), pyftpdlib_->user(), scheme);
        else
            Connect(ftp, daemon_->port(), daemon_->password(), daemon_->user(), scheme);
    }

    // pure-ftpd turns blanks that open or end an uploaded name into "_".
    QByteArray StoredName(QByteArray name) const
    {
        if (GetParam() != QLatin1String("pure-ftpd"))
            return name;
        if (name.startsWith(' '))
            name[0] = '_';
        if (name.endsWith(' '))
            name.back() = '_';
        return name;
    }

    const bool tls_ = GetParam().endsWith(QLatin1String("-tls"));
    FtpComponent ftp;
    QByteArray root_;
    QTemporaryDir local_;
    std::optional<ServerCertificate> asked;

private:
    QTemporaryDir work_;
    std::unique_ptr<FtpServerFixture> pyftpdlib_;
    std::unique_ptr<FtpDaemonFixture> daemon_;
};

TEST_P(RealServer, ListsOpensLinksMovesEveryNameByteForByteAndTellsFileTimes)
{
    connect();
    int unread = 0;
    // pyftpdlib's machine listing describes a link by what it leads to.
    const Rows home = RowsOnDisk(root_, GetParam() == kPyftpdlib);
    {
        SCOPED_TRACE("list: every entry, hidden ones too, named as on disk");
        EXPECT_EQ(Listed(ftp, &unread), home);
        EXPECT_EQ(unread, 0);
        EXPECT_EQ(home.at(QStringLiteral("sparse.bin")).bytes, kSparseSize);
        EXPECT_EQ(ftp.SizeOf(QStringLiteral("sparse.bin")), kSparseSize);
    }
    {
        SCOPED_TRACE("the linked folder opens from its row");
        ftp.ChangeDir(QStringLiteral("linkdir"));
        EXPECT_EQ(Listed(ftp, &unread), RowsOnDisk(root_ + "/realdir"));
        ftp.ChangeDir(QStringLiteral(".."));
        EXPECT_EQ(Listed(ftp, &unread), home);
    }
    {
        SCOPED_TRACE("download each name; the local copy is named as shown");
        for (const QByteArray& name : kFileNames) {
            SCOPED_TRACE(name.constData());
            const QString local = local_.filePath(Shown(name));
            EXPECT_EQ(ftp.SizeOf(Shown(name)), ContentOf(name).size());
            ftp.GetFile(Shown(name), local);
            EXPECT_EQ(ReadRaw(QFile::encodeName(local)), ContentOf(name));
        }
        ftp.GetFile(QStringLiteral("linkfile"), local_.filePath(QStringLiteral("linkfile")));
        EXPECT_EQ(ReadRaw(QFile::encodeName(local_.filePath(QStringLiteral("linkfile")))), ContentOf("-dash.txt"));
    }
    {
        SCOPED_TRACE("upload each name into a new folder, again over that copy, then delete them");
        ftp.MakeDir(QStringLiteral("up load"));
        ftp.ChangeDir(QStringLiteral("up load"));
        for (const QByteArray& name : kFileNames) {
            SCOPED_TRACE(name.constData());
            ftp.PutFile(local_.filePath(Shown(name)), Shown(name));
            ftp.PutFile(local_.filePath(Shown(name)), Shown(name));
            EXPECT_EQ(ReadRaw(root_ + "/up load/" + StoredName(Shown(name).toUtf8())), ContentOf(name));
        }
        const Rows uploaded = RowsOnDisk(root_ + "/up load");
        EXPECT_EQ(uploaded.size(), std::size(kFileNames)) << "no temporary names are left";
        EXPECT_EQ(Listed(ftp, &unread), uploaded);
        for (const auto& [text, row] : uploaded)
            ftp.DeleteFile(text);
        EXPECT_EQ(Listed(ftp, &unread), Rows());
        ftp.ChangeDir(QStringLiteral(".."));
        ftp.RemoveDir(QStringLiteral("up load"));
        EXPECT_FALSE(Exists(root_ + "/up load"));
    }
    {
        SCOPED_TRACE("rename and delete names that are not UTF-8");
        Listed(ftp, &unread);
        ftp.Rename(Shown("r\xe9sum\xe9.txt"), QString::fromUtf8("-renamed \xc3\xa9.txt"));
        EXPECT_EQ(ReadRaw(root_ + "/-renamed \xc3\xa9.txt"), ContentOf("r\xe9sum\xe9.txt"));
        EXPECT_FALSE(Exists(root_ + "/r\xe9sum\xe9.txt"));
        ftp.DeleteFile(Shown("na\xefve.txt"));
        EXPECT_FALSE(Exists(root_ + "/na\xefve.txt"));
        ftp.MakeDir(QStringLiteral(" new folder "));
        EXPECT_TRUE(Exists(root_ + '/' + StoredName(" new folder ")));
        ftp.RemoveDir(QString::fromUtf8(StoredName(" new folder ")));
        EXPECT_FALSE(Exists(root_ + '/' + StoredName(" new folder ")));
    }
    {
        // Publishing compares by time: a file's time as the server tells it (MDTM,
        // and the machine listing where there is one) is its time on disk, and a
        // time set where the server offers that (MFMT) lands there.
        SCOPED_TRACE("file times");
        const QString onDisk = QFile::decodeName(root_ + "/empty.txt");
        const qint64 before = QFileInfo(onDisk).lastModified().toSecsSinceEpoch();
        EXPECT_EQ(ftp.ModifiedTime(QStringLiteral("empty.txt")).toSecsSinceEpoch(), before);
        EXPECT_FALSE(ftp.ModifiedTime(QStringLiteral("missing.txt")).isValid());
        QDateTime listed;
        const auto connection = QObject::connect(&ftp, &FtpComponent::ListEntry, [&](const QString& line) {
            if (const std::optional<ListRow> row = ParseListLine(line); row && row->text == QLatin1String("empty.txt"))
                listed = row->modified;
        });
        ftp.List();
        QObject::disconnect(connection);
        if (GetParam() == kPyftpdlib || GetParam() == QLatin1String("proftpd") || GetParam() == kSshd)
            ASSERT_TRUE(listed.isValid());
        if (listed.isValid())
            EXPECT_EQ(listed.toSecsSinceEpoch(), before);
        const QDateTime wanted(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC);
        const bool set = ftp.SetModified(QStringLiteral("empty.txt"), wanted);
        if (GetParam() == kPyftpdlib || GetParam() == kSshd)
            EXPECT_TRUE(set);
        EXPECT_EQ(QFileInfo(onDisk).lastModified().toSecsSinceEpoch(), set ? wanted.toSecsSinceEpoch() : before);
    }
    ftp.Quit();
}

INSTANTIATE_TEST_SUITE_P(, RealServer,
                         ::testing::Values(QStringLiteral("vsftpd"), QStringLiteral("proftpd"),
                                           QStringLiteral("pure-ftpd"), kPyftpdlib, kSshd,
                                           // Offers machine listings, then refuses them.
                                           QStringLiteral("proftpd-refusing-mlsd")),
                         ParamName);

// vsftpd and proftpd requiring TLS (and, by default, TLS session reuse on
// every data connection), and pyftpdlib with TLS.
class TlsServer : public RealServer {};

// TLS 1.3 servers send a session ticket just after each data connection's
// handshake and take each ticket once: uploads of every size arrive whole,
// and many data connections in one session each resume.
TEST_P(TlsServer, Tls13MovesEveryTransferWholeManyInOneSession)
{
    connect();
    ASSERT_TRUE(asked.has_value());
    EXPECT_TRUE(asked->problem.contains("self-signed") || asked->problem.contains("self signed")) << asked->problem.toStdString();
    EXPECT_EQ(ftp.Protection(), "TLS 1.3");
    // Around the 112 KiB where uploads were cut, and a few MiB.
    for (const qsizetype size : {1000, 112 * 1024, 112 * 1024 + 4, 300 * 1000, 4 * 1024 * 1024}) {
        SCOPED_TRACE(size);
        const QString name = QStringLiteral("up%1.bin").arg(size);
        const QByteArray bytes = RandomBytes(size);
        ASSERT_TRUE(WriteRaw(QFile::encodeName(local_.filePath(name)), bytes));
        ftp.PutFile(local_.filePath(name), name);
        EXPECT_TRUE(ReadRaw(In(root_, name.toUtf8())) == bytes);
        ftp.GetFile(name, local_.filePath("back.bin"));
        EXPECT_TRUE(ReadRaw(QFile::encodeName(local_.filePath("back.bin"))) == bytes);
    }
    EXPECT_EQ(Listed(ftp), RowsOnDisk(root_, GetParam().startsWith(kPyftpdlib)));
    ftp.Quit();
    EXPECT_EQ(ftp.Protection(), QString());
}

INSTANTIATE_TEST_SUITE_P(, TlsServer,
                         ::testing::Values(QStringLiteral("vsftpd-tls"), QStringLiteral("proftpd-tls"),
                                           QStringLiteral("pyftpdlib-tls")),
                         ParamName);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
