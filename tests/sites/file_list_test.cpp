// The last-connection listing viewer over snapshot files written beforehand.

#include "pictures/master_list.h"
#include "shell/window_rig.h"
#include "sites/file_list.h"
#include "sites/ui_kit.h"
#include "support/qt_printers.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

using uikit::WriteFile;

namespace {

QImage IconImage(const QIcon& icon) { return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32); }

class Viewer : public ::testing::Test {
protected:
    QString path(const QString& name) const { return rig.appFolder.filePath(name); }
    void snapshot(const QString& name, const QByteArray& bytes) { WriteFile(path(name), bytes); }

    quillmar::FileList* open()
    {
        if (!rig.form)
            rig.open();
        rig.find<QAction>("mnuPrevConnect")->trigger();
        return rig.find<quillmar::FileList>("FileList");
    }
    QComboBox* combo() const { return rig.find<QComboBox>("Combo1"); }
    QListWidget* list() const { return rig.find<QListWidget>("ListView1"); }
    QString stamp() const
    {
        auto* viewer = rig.find<quillmar::FileList>("FileList");
        auto* panel = viewer->findChild<QLabel*>(QStringLiteral("Panel1"));
        return panel ? panel->text() : QStringLiteral("<no panel>");
    }
    QStringList comboNames() const
    {
        QStringList names;
        for (int i = 0; i < combo()->count(); ++i)
            names << combo()->itemText(i);
        return names;
    }
    // Chooses a name from the drop-down list with the mouse.
    void choose(const QString& name)
    {
        const int index = combo()->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        combo()->showPopup();
        QAbstractItemView* view = combo()->view();
        const QModelIndex item = view->model()->index(index, 0);
        view->scrollTo(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
        ASSERT_FALSE(view->isVisible()) << "the drop-down list closes on a choice";
    }
    QStringList rows() const { return uikit::RowTexts(list()); }

    WindowRig rig;
};

TEST_F(Viewer, OffersLowerCaseDatFilesOnlyAndOpensEmpty)
{
    for (const char* name : {"Shop.dat", ".dat", "Upper.DAT", "Mixed.Dat", "notes.txt", "datfile"})
        snapshot(QLatin1String(name), "|URL| x\r\n");
    QDir(rig.appFolder.path()).mkdir(QStringLiteral("folder.dat"));
    quillmar::FileList* viewer = open();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Previous Connection Listing"));
    EXPECT_EQ(comboNames(), (QStringList{".dat", "Shop.dat"}));
    EXPECT_EQ(combo()->currentText(), QStringLiteral("Select Connection To View"));
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(stamp(), QString());

    // A snapshot written while open shows up only after closing and opening.
    snapshot(QStringLiteral("Later.dat"), "|URL| x\r\n");
    open();
    EXPECT_EQ(comboNames(), (QStringList{".dat", "Shop.dat"}));
    viewer->close();
    open();
    EXPECT_EQ(comboNames(), (QStringList{".dat", "Later.dat", "Shop.dat"}));
}

TEST_F(Viewer, ShowsRowsWithTheirPicturesOnceAndTheTimeStamp)
{
    snapshot(QStringLiteral("Shop.dat"), "|URL| shop.example\r\nimages/\r\nphoto.jpg\r\n\r\nnotes.txt\r\n");
    snapshot(QStringLiteral("Empty.dat"), "|URL| empty.example\r\n");
    const QDateTime written(QDate(2021, 3, 4), QTime(5, 6, 7));
    for (const char* name : {"Shop.dat", "Empty.dat"}) {
        QFile file(path(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(written, QFileDevice::FileModificationTime));
    }
    open();
    choose(QStringLiteral("Shop.dat"));
    EXPECT_EQ(rows(), (QStringList{"images/", "photo.jpg", "", "notes.txt"}));
    const QImage folder = IconImage(quillmar::FolderIcon());
    const QImage file = IconImage(quillmar::FileIcon());
    ASSERT_NE(folder, file);
    EXPECT_EQ(IconImage(list()->item(0)->icon()), folder);
    for (int row = 1; row < list()->count(); ++row)
        EXPECT_EQ(IconImage(list()->item(row)->icon()), file) << "row " << row;
    EXPECT_TRUE(stamp().startsWith(QStringLiteral("Files on server as of: "))) << stamp();
    EXPECT_TRUE(stamp().contains(QLocale::system().toString(written.date(), QLocale::ShortFormat))) << stamp();

    // The same choice again: the rows once.
    choose(QStringLiteral("Shop.dat"));
    EXPECT_EQ(list()->count(), 4);

    // A header-only snapshot: no rows, still its time stamp.
    choose(QStringLiteral("Empty.dat"));
    EXPECT_EQ(list()->count(), 0);
    EXPECT_TRUE(stamp().contains(QLocale::system().toString(written.date(), QLocale::ShortFormat))) << stamp();
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST_F(Viewer, ASnapshotGoneBeforeTheChoiceIsSaidAndLeavesAnEmptyList)
{
    snapshot(QStringLiteral("Shop.dat"), "|URL| x\r\nimages/\r\n");
    snapshot(QStringLiteral("Gone.dat"), "|URL| x\r\nold.jpg\r\n");
    quillmar::FileList* viewer = open();
    choose(QStringLiteral("Shop.dat"));
    ASSERT_EQ(list()->count(), 1);
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("Gone.dat"))));
    choose(QStringLiteral("Gone.dat"));
    ASSERT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_TRUE(rig.dialogs.calls().first().text.contains(QStringLiteral("Gone.dat")));
    EXPECT_EQ(rig.dialogs.calls().first().title, QStringLiteral("Quillmar"));
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(stamp(), QString());
    EXPECT_TRUE(viewer->isVisible());
}

TEST_F(Viewer, ARowClickPreviewsTheCachedPictureOfThatName)
{
    snapshot(QStringLiteral("Shop.dat"), "|URL| x\r\nimages/\r\nphoto.jpg\r\nmissing.jpg\r\n");
    ASSERT_TRUE(QDir(rig.appFolder.path()).mkdir(QStringLiteral("Cache")));
    QImage photo(600, 300, QImage::Format_RGB32);
    photo.fill(Qt::red);
    ASSERT_TRUE(photo.save(path(QStringLiteral("Cache/photo.jpg")), "JPG"));
    quillmar::FileList* viewer = open();
    choose(QStringLiteral("Shop.dat"));
    auto* frame = viewer->findChild<QWidget*>(QStringLiteral("picback"));
    auto* image = viewer->findChild<QLabel*>(QStringLiteral("viewimage"));
    ASSERT_NE(frame, nullptr);
    ASSERT_NE(image, nullptr);

    uikit::ClickRow(list(), 1);
    EXPECT_FALSE(image->isHidden());
    EXPECT_FALSE(image->pixmap().isNull());
    EXPECT_LE(image->width(), frame->width());
    EXPECT_LE(image->height(), frame->height());
    EXPECT_NEAR(double(image->width()) / image->height(), 2.0, 0.05) << "the picture keeps its shape";

    for (int row : {0, 2}) {  // a folder, a name not in the cache
        uikit::ClickRow(list(), row);
        EXPECT_TRUE(image->isHidden() || image->pixmap().isNull()) << "row " << row;
    }
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());
}

TEST_F(Viewer, TheListFollowsTheWindowSize)
{
    quillmar::FileList* viewer = open();
    viewer->resize(600, 400);
    const QRect outer = viewer->frameGeometry();
    EXPECT_EQ(combo()->width(), (outer.width() * 15 - 100) / 15);
    EXPECT_EQ(list()->height(), (outer.height() * 15 - 1100) / 15);
    EXPECT_EQ(list()->y(), 345 / 15);
    auto* frame = viewer->findChild<QWidget*>(QStringLiteral("picback"));
    EXPECT_LE(list()->width() + frame->width(), combo()->width()) << "list and preview share the combo's width";
    EXPECT_GT(list()->width(), 0);

    // Too small for the rules: the steps that cannot be taken are skipped,
    // and the rules hold again once there is room.
    viewer->resize(40, 30);
    viewer->resize(500, 300);
    EXPECT_EQ(list()->height(), (viewer->frameGeometry().height() * 15 - 1100) / 15);
}

TEST_F(Viewer, OpeningTwiceGivesOneWindow)
{
    open();
    rig.form->Toolbar1_ButtonClick(QStringLiteral("List"));
    EXPECT_EQ(rig.form->findChildren<quillmar::FileList*>().size(), 1);
}

}  // namespace
