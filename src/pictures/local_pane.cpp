#include "pictures/local_pane.h"

#include "pictures/list_icons.h"
#include "pictures/list_input.h"
#include "session/entry_names.h"
#include "shell/constants.h"
#include "shell/services.h"

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace quillmar {

namespace {

constexpr QSize kFrameSize(3060 / kTwipsPerPixel, 4815 / kTwipsPerPixel);  // 204 x 321 at the design size
constexpr int kMinimumWidth = 150;
// Changes on disk come in bursts (a copy of many files); the lists are read
// again once the burst is over.
constexpr int kDiskSettleMs = 150;
constexpr int kPathRole = Qt::UserRole;

// What a folder holds, read before anything on screen changes so a folder
// that cannot be read leaves the pane as it was.
struct FolderContents {
    QString path;  // canonical, as the working directory will report it
    QStringList subfolders;
    QStringList files;
};

std::optional<FolderContents> ReadFolder(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !info.isDir() || !info.isReadable() || !info.isExecutable())
        return std::nullopt;
    const QDir dir(canonical);
    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase;
    FolderContents contents;
    contents.path = canonical;
    contents.subfolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, order);
    contents.files = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, order);
    return contents;
}

bool IsWithin(const QString& path, const QString& root)
{
    if (root.isEmpty())
        return false;
    if (root.endsWith(QLatin1Char('/')))
        return path.startsWith(root) || path == root.chopped(1);
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

QString Normalised(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

}  // namespace

LocalList::LocalList(const QString& folder, QWidget* parent) : QListWidget(parent), folder_(folder)
{
    auto* input = new ListInput(this);
    connect(input, &ListInput::focusEntered, this, &LocalList::focusEntered);
    connect(input, &ListInput::rightButtonReleased, this, &LocalList::rightButtonReleased);
    connect(input, &ListInput::currentMovedByKey, this, &LocalList::currentMovedByKey);
    connect(input, &ListInput::enterPressed, this, &LocalList::enterPressed);
}

QStringList LocalList::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData* LocalList::mimeData(const QList<QListWidgetItem*>& items) const
{
    QList<QUrl> urls;
    for (const QListWidgetItem* item : items)
        urls.append(QUrl::fromLocalFile(EntryPath(folder_, item->text())));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

// Only server rows land here; files dragged within the pane go nowhere.
void LocalList::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(QLatin1String(kServerRowsMime)) && event->source() != this)
        event->acceptProposedAction();
    else
        event->ignore();
}

void LocalList::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasFormat(QLatin1String(kServerRowsMime)) && event->source() != this)
        event->acceptProposedAction();
    else
        event->ignore();
}

void LocalList::dropEvent(QDropEvent* event)
{
    const QByteArray rows = event->mimeData()->data(QLatin1String(kServerRowsMime));
    if (rows.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT serverRowsDropped(QString::fromUtf8(rows).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
}

LocalPane::LocalPane(Dialogs& dialogs, std::function<QStringList()> drives, QWidget* parent)
    : QGroupBox(QStringLiteral(" Local Files"), parent), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("localFrame"));
    setMinimumWidth(kMinimumWidth);

    drives_ = new QComboBox(this);
    drives_->setObjectName(QStringLiteral("Drive1"));
    drives_->setToolTip(QStringLiteral("Local drive"));

    folders_ = new LocalList(QString(), this);
    folders_->setObjectName(QStringLiteral("Dir1"));
    folders_->setToolTip(QStringLiteral("Local folder"));
    folders_->setSelectionMode(QAbstractItemView::SingleSelection);

    files_ = new LocalList(QString(), this);
    files_->setObjectName(QStringLiteral("File1"));
    files_->setToolTip(QStringLiteral("Local files"));
    files_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    files_->setDragDropMode(QAbstractItemView::DragDrop);
    files_->setDefaultDropAction(Qt::CopyAction);
    for (QListWidget* list : {static_cast<QListWidget*>(folders_), static_cast<QListWidget*>(files_)})
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    watcher_ = new QFileSystemWatcher(this);
    diskChanged_.setSingleShot(true);
    diskChanged_.setInterval(kDiskSettleMs);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, &diskChanged_, qOverload<>(&QTimer::start));
    connect(&diskChanged_, &QTimer::timeout, this, &LocalPane::followDisk);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(drives_);
    layout->addWidget(folders_, 1);
    layout->addWidget(files_, 1);

    if (drives)
        driveRoots_ = drives();
    for (const QString& root : std::as_const(driveRoots_))
        drives_->addItem(root, root);

    // Start where the process was started, on that folder's drive.
    const QString start = QDir::currentPath();
    drives_->setCurrentIndex(driveIndexOf(start));
    if (!enterFolder(start))
        folder_ = Normalised(start);

    connect(drives_, &QComboBox::currentIndexChanged, this, &LocalPane::onDriveChanged);
    connect(folders_, &QListWidget::itemActivated, this, &LocalPane::onFolderActivated);
    // Choosing a folder is no choice of the files a command acts on.
    connect(folders_, &LocalList::focusEntered, this, &LocalPane::folderListFocused);
    connect(files_, &LocalList::focusEntered, this, &LocalPane::focusEntered);
    connect(files_, &LocalList::rightButtonReleased, this, &LocalPane::contextMenuRequested);
    connect(files_, &QAbstractItemView::clicked, this, &LocalPane::fileClicked);
    connect(files_, &LocalList::currentMovedByKey, this, &LocalPane::fileClicked);
    connect(files_, &QAbstractItemView::doubleClicked, this, &LocalPane::fileDoubleClicked);
    connect(files_, &LocalList::enterPressed, this, &LocalPane::fileDoubleClicked);
    connect(files_, &LocalList::serverRowsDropped, this, &LocalPane::serverRowsDropped);
    connect(folders_, &LocalList::enterPressed, this, [this] { onFolderActivated(folders_->currentItem()); });
}

QSize LocalPane::sizeHint() const
{
    return kFrameSize;
}

int LocalPane::driveIndexOf(const QString& path) const
{
    const QString normalised = Normalised(path);
    int best = -1;
    for (int i = 0; i < driveRoots_.size(); ++i) {
        const QString root = Normalised(driveRoots_.at(i));
        if (IsWithin(normalised, root) && (best < 0 || root.size() > Normalised(driveRoots_.at(best)).size()))
            best = i;
    }
    return best;
}

QString LocalPane::currentFile() const
{
    const QListWidgetItem* item = files_->currentItem();
    return item ? item->text() : QString();
}

QStringList LocalPane::selectedFiles() const
{
    QList<int> rows;
    for (const QModelIndex& index : files_->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QStringList names;
    for (int row : rows)
        names.append(files_->item(row)->text());
    return names;
}

bool LocalPane::setFolder(const QString& path)
{
    return runFolderChange(path);
}

bool LocalPane::setDrive(int index)
{
    if (index < 0 || index >= drives_->count())
        return false;
    if (index == drives_->currentIndex())
        return runDriveChange(index);
    drives_->setCurrentIndex(index);  // runs the drive change
    return driveChangeOk_;
}

void LocalPane::onDriveChanged(int index)
{
    if (index >= 0)
        driveChangeOk_ = runDriveChange(index);
}

void LocalPane::onFolderActivated(QListWidgetItem* item)
{
    if (item)
        runFolderChange(item->data(kPathRole).toString());
}

// Entering the drive's root also re-reads the file list, which is all that
// making a drive current means here. Any failure is the drive's: one
// message, and the pane stays on the folder it had.
bool LocalPane::runDriveChange(int index)
{
    if (!enterFolder(driveRoots_.at(index))) {
        showMessage(QStringLiteral("Drive or disk not ready."));
        return false;
    }
    return true;
}

bool LocalPane::runFolderChange(const QString& path)
{
    if (!enterFolder(path)) {
        showMessage(QStringLiteral("An unexpected error occurred."));
        refreshFolders();  // drop an entry that has gone away
        return false;
    }
    return true;
}

// All or nothing: the folder list, the file list and the working directory
// change together, so a bare name from the file list never resolves in
// another folder than the one shown.
bool LocalPane::enterFolder(const QString& path)
{
    const std::optional<FolderContents> contents = ReadFolder(path);
    if (!contents || !QDir::setCurrent(contents->path))
        return false;
    if (!watcher_->directories().isEmpty())
        watcher_->removePaths(watcher_->directories());
    watcher_->addPath(contents->path);
    folder_ = contents->path;
    files_->setFolder(folder_);
    showFolders(contents->path, contents->subfolders);
    showFiles(contents->files, {});
    return true;
}

// Another program changed the shown folder: both lists are read again,
// keeping the current and selected files. A folder that has gone away
// gives way to the nearest one still there.
void LocalPane::followDisk()
{
    const std::optional<FolderContents> contents = ReadFolder(folder_);
    if (!contents) {
        QDir up(folder_);
        while (up.cdUp() && !enterFolder(up.path())) {
        }
        return;
    }
    showFolders(folder_, contents->subfolders);
    showFiles(contents->files, currentFile(), selectedFiles());
}

void LocalPane::refreshFolders()
{
    if (const std::optional<FolderContents> contents = ReadFolder(folder_))
        showFolders(folder_, contents->subfolders);
}

void LocalPane::refreshFiles()
{
    if (const std::optional<FolderContents> contents = ReadFolder(folder_))
        showFiles(contents->files, currentFile());
}

// The chain from the drive root down to the folder, then its subfolders one
// step further in.
void LocalPane::showFolders(const QString& path, const QStringList& subfolders)
{
    const int selected = drives_->currentIndex();
    const int driveIndex = selected >= 0 && IsWithin(path, Normalised(driveRoots_.at(selected)))
                               ? selected
                               : driveIndexOf(path);
    const QString root = driveIndex >= 0 ? Normalised(driveRoots_.at(driveIndex)) : QDir::rootPath();

    QStringList chain{root};
    const QString below = path.mid(root.size());
    for (const QString& part : below.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        chain.append(part);

    // The drawn folder picture of the server list: the same look on both
    // sides, and no icon files to decode while the window opens.
    const QIcon open = FolderIcon();
    const QIcon& closed = open;
    const QSignalBlocker quiet(folders_);
    folders_->clear();
    QString walked;
    for (int level = 0; level < chain.size(); ++level) {
        walked = level == 0 ? root : EntryPath(walked, chain.at(level));
        auto* item = new QListWidgetItem(open, QString(level * 2, QLatin1Char(' ')) + chain.at(level), folders_);
        item->setData(kPathRole, walked);
    }
    folders_->setCurrentRow(int(chain.size()) - 1);
    const QString indent(chain.size() * 2, QLatin1Char(' '));
    for (const QString& name : subfolders) {
        auto* item = new QListWidgetItem(closed, indent + name, folders_);
        item->setData(kPathRole, EntryPath(path, name));
    }
}

void LocalPane::showFiles(const QStringList& files, const QString& keepCurrent, const QStringList& keepSelected)
{
    const QSignalBlocker quiet(files_);
    files_->clear();
    files_->addItems(files);
    const int row = keepCurrent.isEmpty() ? -1 : int(files.indexOf(keepCurrent));
    if (row >= 0)
        files_->setCurrentRow(row, keepSelected.isEmpty() ? QItemSelectionModel::ClearAndSelect
                                                           : QItemSelectionModel::NoUpdate);
    for (const QString& name : keepSelected) {
        if (QListWidgetItem* item = files_->item(int(files.indexOf(name))))
            item->setSelected(true);
    }
}

void LocalPane::showMessage(const QString& text)
{
    dialogs_.message(text, Dialogs::Buttons::Ok, Dialogs::Icon::Information, kAppTitle);
}

}  // namespace quillmar
