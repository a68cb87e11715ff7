// The last-connection listing viewer over snapshot files written beforehand.

#include "support/window_helpers.h"
#include "sites/file_list.h"

#include <QComboBox>
#include <QDateTime>
#include <QLocale>

namespace {

class Viewer : public ::testing::Test {
protected:
    QString path(const QString& name) const { return rig.appFolder.filePath(name); }
    quillmar::FileList* open()
    {
        if (!rig.form)
            rig.open();
        rig.find<QAction>("mnuPrevConnect")->trigger();
        return rig.find<quillmar::FileList>("FileList");
    }
    QComboBox* combo() const { return rig.find<QComboBox>("Combo1"); }
    QListWidget* list() const { return rig.find<QListWidget>("ListView1"); }
    QString stamp() const { return rig.find<quillmar::FileList>("FileList")->findChild<QLabel*>("Panel1")->text(); }
    // Chooses a name from the drop-down list with the mouse.
    void choose(const QString& name)
    {
        const int index = combo()->findText(name);
        ASSERT_GE(index, 0) << name;
        combo()->showPopup();
        ClickRow(combo()->view(), index);
        ASSERT_FALSE(combo()->view()->isVisible()) << "the drop-down list closes on a choice";
    }

    WindowRig rig;
};

// Stored sites with a lower-case ".dat" listing, by their names: not the
// file names, and not sites deleted from the store.
TEST_F(Viewer, OffersStoredSitesWithAListingAndOpensEmptyInOneWindow)
{
    for (const char* name : {"Shop.dat", ".dat", "Upper.DAT", "Deleted.dat", "notes.txt"})
        WriteFile(path(name), "|URL| x\r\n");
    ASSERT_TRUE(QDir(rig.appFolder.path()).mkdir("folder.dat"));
    WriteFile(path("sites.snd"), "Upper;upper.example;a;b\r\nShop;shop.example;a;b\r\n;blank.example;a;b\r\n"
                                 "folder;f.example;a;b\r\nNone;none.example;a;b\r\nShop;again.example;a;b\r\n");
    quillmar::FileList* viewer = open();
    ASSERT_TRUE(viewer && viewer->isVisible());
    EXPECT_EQ(RowTexts(combo()->view()), (QStringList{"Shop", "blank.example"}));
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(stamp(), QString());

    rig.form->Toolbar1_ButtonClick("List");  // asked again while open: the same window
    EXPECT_EQ(rig.form->findChildren<quillmar::FileList*>().size(), 1);
}

TEST_F(Viewer, ShowsRowsOnceTheTimeStampAndThePreview)
{
    WriteFile(path("Shop.dat"), "|URL| shop.example\r\n|URL|Site| me@shop.example\r\n|URL|Folder| /pics\r\n"
                                       "images/\r\nphoto.jpg\r\n\r\nmissing.jpg\r\n");
    WriteFile(path("Empty.dat"), "|URL| empty.example\r\n");
    WriteFile(path("Gone.dat"), "|URL| x\r\nold.jpg\r\n");
    WriteFile(path("sites.snd"), "Shop;shop.example;me;pw\r\nEmpty;empty.example;a;b\r\nGone;x;a;b\r\n");
    ASSERT_TRUE(QDir(rig.appFolder.path()).mkpath("Cache/me@shop.example/pics"));
    WritePicture(path("Cache/me@shop.example/pics/photo.jpg"), 60, 30);
    const QDateTime written(QDate(2021, 3, 4), QTime(5, 6, 7));
    const QString day = QLocale::system().toString(written.date(), QLocale::ShortFormat);
    for (const char* name : {"Shop.dat", "Empty.dat"}) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(written, QFileDevice::FileModificationTime));
    }
    quillmar::FileList* viewer = open();
    // A header-only snapshot: no rows, still its time stamp.
    choose("Empty");
    EXPECT_EQ(list()->count(), 0);
    EXPECT_TRUE(stamp().startsWith("Files on server as of: ") && stamp().contains(day)) << stamp();
    for (int choice = 0; choice < 2; ++choice) {  // the same choice again: the rows once
        choose("Shop");
        EXPECT_EQ(RowTexts(list()), (QStringList{"images/", "photo.jpg", "", "missing.jpg"}));
    }
    EXPECT_TRUE(stamp().contains(day)) << stamp();

    // A row click previews the cached picture of that name, and only that.
    auto* image = viewer->findChild<QLabel*>("viewimage");
    ASSERT_NE(image, nullptr);
    auto* note = viewer->findChild<QLabel*>("picnote");
    for (int row : {1, 0, 1, 3}) {  // a cached picture, a folder, a picture not in the cache
        ClickRow(list(), row);
        EXPECT_EQ(image->isHidden() || image->pixmap().isNull(), row != 1) << "row " << row;
        EXPECT_EQ(note->isVisible() ? note->text() : QString(), row == 3 ? "Not in the picture cache" : "") << row;
    }
    EXPECT_TRUE(rig.dialogs.calls().isEmpty());

    // A snapshot gone before the choice: said, an empty list, the window stays.
    ASSERT_TRUE(QFile::remove(path("Gone.dat")));
    choose("Gone");
    EXPECT_EQ(rig.dialogs.calls().size(), 1);
    EXPECT_TRUE(rig.dialogs.calls().value(0).text.contains("Gone.dat")) << rig.dialogs.calls().value(0).text;
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(stamp(), QString());
    EXPECT_TRUE(viewer->isVisible());
}

}  // namespace
