#pragma once

// Helpers for window tests on the one rig: finding and picking rows and files
// as a person would, printing to PDF and reading it back, and the rig
// connected to the real FTP server.

#include "pictures/server_list_model.h"
#include "sites/site_form.h"
#include "sites/site_store.h"
#include "support/files.h"
#include "support/ftp_server_fixture.h"
#include "support/scripted_server.h"
#include "support/window_rig.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QImage>
#include <QListWidget>
#include <QPrinter>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// A picture of one colour, as a JPEG unless another format is named.
inline void WritePicture(const QString& path, int width, int height, const QColor& colour = QColor(200, 120, 40),
                         const char* format = "JPG")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(path, format)) << path.toStdString();
}

// Runs a Python script (pictures are made with PIL) with the Debian
// interpreter that has PIL; its standard output read as a JSON object.
QJsonObject RunPython(const QString& script, const QStringList& arguments);

// A camera photograph (JPEG) of the given size as stored, turned a quarter by
// its EXIF orientation (6), the top half red and the bottom half blue as
// stored, so upright the left half is blue and the right half red. Its Exif
// names the camera "QuillCam 7" and holds a GPS position.
void WriteCameraPhoto(const QString& path, int storedWidth, int storedHeight);

// A printer that writes a PDF file at path, and that file's text as pdftotext
// reads it: one line an entry, blank lines dropped, "\f" between pages.
std::function<std::unique_ptr<QPrinter>()> PdfPrinter(const QString& path);
QStringList PdfLines(const QString& path);

// The person's mouse on a row of a list, once or twice.
void ClickRow(QAbstractItemView* view, int row, bool twice = false);
// The texts (or other data) of one column of a list, in list order.
QStringList RowTexts(const QAbstractItemView* view, int column = 0, int role = Qt::DisplayRole);

inline QLabel* PreviewImage(const WindowRig& rig) { return rig.find<QLabel>("viewimage"); }
inline QAbstractItemView* ServerView(const WindowRig& rig) { return rig.find<QAbstractItemView>("ListView1"); }
inline quillmar::ServerListModel* Model(const WindowRig& rig) { return rig.form->findChild<quillmar::ServerListModel*>(); }
inline QStringList RowTexts(const WindowRig& rig) { return Model(rig)->rowTexts(); }

inline QModelIndex RowIndex(const WindowRig& rig, const QString& text)
{
    return Model(rig)->index(int(RowTexts(rig).indexOf(text)), 0);
}

// Selects exactly these server rows; the first becomes the current one.
inline void SelectRows(WindowRig& rig, const QStringList& texts)
{
    ServerView(rig)->clearSelection();
    for (const QString& text : texts) {
        ASSERT_TRUE(RowIndex(rig, text).isValid()) << "no row " << text.toStdString();
        if (text == texts.first())
            ServerView(rig)->setCurrentIndex(RowIndex(rig, text));
        ServerView(rig)->selectionModel()->select(RowIndex(rig, text),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

inline QStringList SelectedTexts(const WindowRig& rig)
{
    QStringList texts;
    for (const QModelIndex& index : ServerView(rig)->selectionModel()->selectedRows(0))
        texts << index.data().toString();
    texts.sort();
    return texts;
}

// Makes the first local file the current one of File1 and selects exactly these.
inline void SelectLocalFiles(WindowRig& rig, const QStringList& names)
{
    auto* files = rig.find<QListWidget>("File1");
    files->clearSelection();
    for (const QString& name : names) {
        QListWidgetItem* item = files->findItems(name, Qt::MatchExactly).value(0);
        ASSERT_NE(item, nullptr) << name.toStdString();
        if (name == names.first())
            files->setCurrentItem(item);
        item->setSelected(true);
    }
}

inline void ClickLocalFile(WindowRig& rig, const QString& name)
{
    auto* files = rig.find<QListWidget>("File1");
    QListWidgetItem* item = files->findItems(name, Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr) << name.toStdString();
    files->scrollToItem(item);
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(item).center());
}

inline void ClickServerRow(WindowRig& rig, const QString& text)
{
    ASSERT_TRUE(RowIndex(rig, text).isValid()) << text.toStdString();
    QTest::mouseClick(ServerView(rig)->viewport(), Qt::LeftButton, {},
                      ServerView(rig)->visualRect(RowIndex(rig, text)).center());
}

// A double click on a server row (made current first): enters a folder, downloads a file.
inline void DoubleClickServerRow(WindowRig& rig, const QString& text)
{
    ASSERT_TRUE(RowIndex(rig, text).isValid()) << "no row " << text.toStdString();
    ServerView(rig)->setCurrentIndex(RowIndex(rig, text));
    QTest::mouseDClick(ServerView(rig)->viewport(), Qt::LeftButton, {},
                       ServerView(rig)->visualRect(RowIndex(rig, text)).center());
}

// A site's saved last listing, and the header of one taken in the server's
// top folder at url.
inline QByteArray SavedListing(const WindowRig& rig, const QString& site)
{
    return ReadFile(rig.appFolder.filePath(site + QStringLiteral(".dat")));
}

inline QByteArray ListingHeader(const QString& url)
{
    return QStringLiteral("|URL| %1\r\n|URL|Site| demo@%1\r\n|URL|Folder| /\r\n").arg(url).toUtf8();
}

// Points the system trash (and the home folder it is found from) at a
// temporary folder while it lives.
struct TemporaryTrash {
    QTemporaryDir home;
    QByteArray savedHome = qgetenv("HOME");
    QByteArray savedData = qgetenv("XDG_DATA_HOME");
    TemporaryTrash()
    {
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
        QDir().mkpath(home.filePath(QStringLiteral("data")));
    }
    ~TemporaryTrash()
    {
        qputenv("HOME", savedHome);
        savedData.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", savedData);
    }
    QString trashed(const QString& name) const { return home.filePath(QStringLiteral("data/Trash/files/") + name); }
};

// The rig's window opened and connected to a scripted server (which lets
// any login in).
inline void OpenOnScriptedServer(WindowRig& rig, const quillmar::test::ScriptedServer& server)
{
    ASSERT_TRUE(server.running());
    rig.openConnectedTo(server.port());
    ASSERT_EQ(rig.panel(2), QStringLiteral("Connected"));
}

// The window and a server that holds a.jpg, b.txt and images/; local
// files written before openConnected() are listed without a refresh.
class ConnectedWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running()) << server.error().toStdString();
        QDir(server.root()).mkdir(QStringLiteral("images"));
        WriteFile(serverPath(QStringLiteral("a.jpg")), QByteArray(1500, 'j'));
        WriteFile(serverPath(QStringLiteral("b.txt")), QByteArray(512, 't'));
        rig.presetSite(Loopback(server.port()), QString(), server.user(), server.password());
    }

    quillmar::Form1& openConnected()
    {
        rig.open().Connect();
        EXPECT_EQ(rig.panel(2), QStringLiteral("Connected"));
        return *rig.form;
    }

    QString serverPath(const QString& name) const { return QDir(server.root()).filePath(name); }
    QString localPath(const QString& name) const { return rig.localFolder.filePath(name); }
    // The cache folder of the server's top folder, made when asked for.
    QString cacheFolder(const QString& below = QString()) const
    {
        const QString folder = rig.appFolder.filePath(QStringLiteral("Cache/demo@127.0.0.1:%1").arg(server.port()) + below);
        QDir().mkpath(folder);
        return folder;
    }
    QString cachePath(const QString& name) const { return QDir(cacheFolder()).filePath(name); }

    quillmar::test::FtpServerFixture server;
    WindowRig rig;
};

// An entry as the store holds it, written out here rather than built by the
// code under test: description, 100 blanks, ";address;login;password".
inline QString Stored(const QString& description, const QString& rest)
{
    return description + QString(100, u' ') + u';' + rest;
}

// The site manager over the rig's window, with the store file it reads.
class SiteManagerWindow : public ::testing::Test {
protected:
    static constexpr const char* kBoxes[] = {"txtSite", "txtRemote", "txtLogin", "txtPass"};

    QString storePath() const { return rig.services.appFolder + "/sites.snd"; }
    void writeStore(const QStringList& lines) { WriteFile(storePath(), (lines.join("\r\n") + "\r\n").toUtf8()); }
    // Opens the window first if need be.
    quillmar::SiteForm* openSites()
    {
        if (!rig.form)
            rig.open();
        rig.find<QAction>("mnuSiteMan")->trigger();
        return rig.find<quillmar::SiteForm>("SiteForm");
    }
    QListWidget* list() const { return rig.find<QListWidget>("List1"); }
    // Types description, address, login and password, as many as given.
    void fill(const QStringList& texts)
    {
        for (int i = 0; i < texts.size(); ++i) {
            rig.find<QLineEdit>(kBoxes[i])->clear();
            QTest::keyClicks(rig.find<QLineEdit>(kBoxes[i]), texts[i]);
        }
    }
    // Command2 adds, Command1 deletes, cmdSave saves, CloseBtn connects, Command3 exits.
    void press(const char* name) { QTest::mouseClick(rig.find<QPushButton>(name), Qt::LeftButton); }

    WindowRig rig;
};
