#include "sites/file_list.h"

#include "pictures/list_icons.h"
#include "pictures/picture_cache.h"
#include "pictures/picture_frame.h"
#include "pictures/picture_rules.h"
#include "pictures/preview.h"
#include "shell/constants.h"
#include "shell/main_context.h"
#include "shell/window_kit.h"
#include "sites/site_store.h"
#include "sites/snapshot.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QStatusBar>

namespace quillmar {

namespace {

constexpr int Twips(int pixels) { return pixels * kTwipsPerPixel; }

const QString kPrompt = QStringLiteral("Select Connection To View");

// The list starts this far below the top of the client area.
constexpr int kListTop = 345;
// The preview stands right of the list, as wide as this, the gap included.
constexpr int kPreviewWidth = 2400;
constexpr int kPreviewGap = 60;

QString TimeStampText(const QDateTime& written)
{
    return QStringLiteral("Files on server as of: ") + QLocale::system().toString(written, QLocale::ShortFormat);
}

}  // namespace

FileList::FileList(const Services& services, QWidget* parent) : QMainWindow(parent), services_(services)
{
    setObjectName(QStringLiteral("FileList"));
    setWindowTitle(QStringLiteral("Previous Connection Listing"));
    buildElements();
    resize(Px(7200), Px(5400));
}

void FileList::buildElements()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    combo_ = new QComboBox(client);
    combo_->setObjectName(QStringLiteral("Combo1"));
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->move(0, 0);

    list_ = new QListWidget(client);
    list_->setObjectName(QStringLiteral("ListView1"));
    list_->setViewMode(QListView::ListMode);
    list_->setIconSize(QSize(16, 16));
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->move(0, Px(kListTop));

    const PictureFrame frame = AddPictureFrame(client);
    picback_ = frame.picback;
    viewimage_ = frame.viewimage;

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    panel1_ = new QLabel(bar);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    bar->addWidget(panel1_, 1);

    // A choice from the drop-down list, by mouse or keyboard; typing in the
    // edit field chooses nothing.
    connect(combo_, &QComboBox::activated, this, &FileList::Combo1_Click);
    connect(list_, &QListWidget::currentRowChanged, this, &FileList::ListView1_Click);
}

void FileList::Open()
{
    if (!loaded_)
        Form_Load();
    ShowOverMainWindow(this);
}

void FileList::Form_Load()
{
    // Each stored site with a listing, by its name; a deleted site's file is
    // not offered. The item carries the file's name.
    combo_->clear();
    const QStringList files = ListSnapshotFiles(services_.appFolder);
    QStringList offered;
    for (const QString& entry : LoadSiteList(services_.appFolder)) {
        const std::optional<SiteFields> site = SplitSiteEntry(entry);
        const QString file = site ? SnapshotFileName(site->description) : QString();
        if (!site || !files.contains(file) || offered.contains(file))
            continue;
        offered << file;
        combo_->addItem(SiteName(*site), file);
    }
    combo_->setCurrentIndex(-1);
    combo_->setEditText(kPrompt);
    list_->clear();
    panel1_->clear();
    hidePreview();
    loaded_ = true;
}

void FileList::Combo1_Click(int index)
{
    if (index < 0 || index >= combo_->count())
        return;
    const QString name = combo_->itemData(index).toString();
    list_->clear();
    panel1_->clear();
    hidePreview();

    // The file may have gone since the names were listed.
    const QFileInfo file(services_.appFolder + u'/' + name);
    if (!file.isFile() || !file.isReadable()) {
        Inform(services_, QStringLiteral("The saved listing \"%1\" is no longer there.").arg(name));
        return;
    }
    panel1_->setText(TimeStampText(file.lastModified()));
    place_ = ReadSnapshotPlace(services_.appFolder, name);
    const QIcon folder = FolderIcon();
    const QIcon plain = FileIcon();
    for (const SnapshotRow& row : ReadListingSnapshot(services_.appFolder, name)) {
        auto* item = new QListWidgetItem(row.folder ? folder : plain, row.text);
        item->setData(Qt::UserRole, row.folder);
        list_->addItem(item);
    }
}

void FileList::ListView1_Click(int row)
{
    if (row < 0 || row >= list_->count()) {
        hidePreview();
        return;
    }
    showPreview(list_->item(row)->text());
}

// The cached copy of the name in the place the snapshot was taken, fitted
// into the preview; a picture not in the cache says so.
void FileList::showPreview(const QString& name)
{
    ShowServerPicture(*this, services_.appFolder, place_, name);
    if (!IsPicture(name))
        hidePreview();
}

void FileList::hidePreview()
{
    ClearImage(*this);
    viewimage_->hide();
}

void FileList::Form_Resize()
{
    // Each rule stands alone: a size the window cannot take is skipped.
    const QRect outer = frameGeometry();
    const int comboWidth = Twips(outer.width()) - 100;
    if (comboWidth >= 0)
        combo_->resize(Px(comboWidth), combo_->sizeHint().height());
    const int listWidth = Twips(combo_->width()) - kPreviewWidth;
    if (listWidth >= 0)
        list_->resize(Px(listWidth), list_->height());
    const int listHeight = Twips(outer.height()) - 1100;
    if (listHeight >= 0)
        list_->resize(list_->width(), Px(listHeight));
    picback_->setGeometry(list_->x() + list_->width() + Px(kPreviewGap), list_->y(),
                          qMax(0, Px(kPreviewWidth - kPreviewGap)), list_->height());
}

void FileList::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void FileList::closeEvent(QCloseEvent* event)
{
    // Closing forgets everything; the next opening lists the folder again.
    loaded_ = false;
    event->accept();
}

}  // namespace quillmar
