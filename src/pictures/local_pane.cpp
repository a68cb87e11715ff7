#include "pictures/local_pane.h"

#include "pictures/list_icons.h"
#include "pictures/list_input.h"
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

LocalList::LocalList(const QString& folder, QWidget* parent) : QListWidget(parent), m_folder(folder)
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
        urls.append(QUrl::fromLocalFile(QDir(m_folder).filePath(item->text())));
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
    : QGroupBox(QStringLiteral(" Local Files"), parent), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("localFrame"));
    setMinimumWidth(kMinimumWidth);

    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("Drive1"));
    m_drives->setToolTip(QStringLiteral("Local drive"));

    m_folders = new LocalList(QString(), this);
    m_folders->setObjectName(QStringLiteral("Dir1"));
    m_folders->setToolTip(QStringLiteral("Local folder"));
    m_folders->setSelectionMode(QAbstractItemView::SingleSelection);

    m_files = new LocalList(QString(), this);
    m_files->setObjectName(QStringLiteral("File1"));
    m_files->setToolTip(QStringLiteral("Local files"));
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_files->setDragDropMode(QAbstractItemView::DragDrop);
    m_files->setDefaultDropAction(Qt::CopyAction);
    for (QListWidget* list : {static_cast<QListWidget*>(m_folders), static_cast<QListWidget*>(m_files)})
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_watcher = new QFileSystemWatcher(this);
    m_diskChanged.setSingleShot(true);
    m_diskChanged.setInterval(kDiskSettleMs);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, &m_diskChanged, qOverload<>(&QTimer::start));
    connect(&m_diskChanged, &QTimer::timeout, this, &LocalPane::followDisk);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_drives);
    layout->addWidget(m_folders, 1);
    layout->addWidget(m_files, 1);

    if (drives)
        m_driveRoots = drives();
    for (const QString& root : std::as_const(m_driveRoots))
        m_drives->addItem(root, root);

    // Start where the process was started, on that folder's drive.
    const QString start = QDir::currentPath();
    m_drives->setCurrentIndex(driveIndexOf(start));
    if (!enterFolder(start))
        m_folder = Normalised(start);

    connect(m_drives, &QComboBox::currentIndexChanged, this, &LocalPane::onDriveChanged);
    connect(m_folders, &QListWidget::itemActivated, this, &LocalPane::onFolderActivated);
    // Choosing a folder is no choice of the files a command acts on.
    connect(m_folders, &LocalList::focusEntered, this, &LocalPane::folderListFocused);
    connect(m_files, &LocalList::focusEntered, this, &LocalPane::focusEntered);
    connect(m_files, &LocalList::rightButtonReleased, this, &LocalPane::contextMenuRequested);
    connect(m_files, &QAbstractItemView::clicked, this, &LocalPane::fileClicked);
    connect(m_files, &LocalList::currentMovedByKey, this, &LocalPane::fileClicked);
    connect(m_files, &QAbstractItemView::doubleClicked, this, &LocalPane::fileDoubleClicked);
    connect(m_files, &LocalList::enterPressed, this, &LocalPane::fileDoubleClicked);
    connect(m_files, &LocalList::serverRowsDropped, this, &LocalPane::serverRowsDropped);
    connect(m_folders, &LocalList::enterPressed, this, [this] { onFolderActivated(m_folders->currentItem()); });
}

QSize LocalPane::sizeHint() const
{
    return kFrameSize;
}

int LocalPane::driveIndexOf(const QString& path) const
{
    const QString normalised = Normalised(path);
    int best = -1;
    for (int i = 0; i < m_driveRoots.size(); ++i) {
        const QString root = Normalised(m_driveRoots.at(i));
        if (IsWithin(normalised, root) && (best < 0 || root.size() > Normalised(m_driveRoots.at(best)).size()))
            best = i;
    }
    return best;
}

QString LocalPane::currentFile() const
{
    const QListWidgetItem* item = m_files->currentItem();
    return item ? item->text() : QString();
}

QStringList LocalPane::selectedFiles() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_files->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QStringList names;
    for (int row : rows)
        names.append(m_files->item(row)->text());
    return names;
}

bool LocalPane::setFolder(const QString& path)
{
    return runFolderChange(path);
}

bool LocalPane::setDrive(int index)
{
    if (index < 0 || index >= m_drives->count())
        return false;
    if (index == m_drives->currentIndex())
        return runDriveChange(index);
    m_drives->setCurrentIndex(index);  // runs the drive change
    return m_driveChangeOk;
}

void LocalPane::onDriveChanged(int index)
{
    if (index >= 0)
        m_driveChangeOk = runDriveChange(index);
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
    if (!enterFolder(m_driveRoots.at(index))) {
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
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_watcher->addPath(contents->path);
    m_folder = contents->path;
    m_files->setFolder(m_folder);
    showFolders(contents->path, contents->subfolders);
    showFiles(contents->files, {});
    return true;
}

// Another program changed the shown folder: both lists are read again,
// keeping the current and selected files. A folder that has gone away
// gives way to the nearest one still there.
void LocalPane::followDisk()
{
    const std::optional<FolderContents> contents = ReadFolder(m_folder);
    if (!contents) {
        QDir up(m_folder);
        while (up.cdUp() && !enterFolder(up.path())) {
        }
        return;
    }
    showFolders(m_folder, contents->subfolders);
    showFiles(contents->files, currentFile(), selectedFiles());
}

void LocalPane::refreshFolders()
{
    if (const std::optional<FolderContents> contents = ReadFolder(m_folder))
        showFolders(m_folder, contents->subfolders);
}

void LocalPane::refreshFiles()
{
    if (const std::optional<FolderContents> contents = ReadFolder(m_folder))
        showFiles(contents->files, currentFile());
}

// The chain from the drive root down to the folder, then its subfolders one
// step further in.
void LocalPane::showFolders(const QString& path, const QStringList& subfolders)
{
    const int selected = m_drives->currentIndex();
    const int driveIndex = selected >= 0 && IsWithin(path, Normalised(m_driveRoots.at(selected)))
                               ? selected
                               : driveIndexOf(path);
    const QString root = driveIndex >= 0 ? Normalised(m_driveRoots.at(driveIndex)) : QDir::rootPath();

    QStringList chain{root};
    const QString below = path.mid(root.size());
    for (const QString& part : below.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        chain.append(part);

    // The drawn folder picture of the server list: the same look on both
    // sides, and no icon files to decode while the window opens.
    const QIcon open = FolderIcon();
    const QIcon& closed = open;
    const QSignalBlocker quiet(m_folders);
    m_folders->clear();
    QString walked;
    for (int level = 0; level < chain.size(); ++level) {
        walked = level == 0 ? root : QDir(walked).filePath(chain.at(level));
        auto* item = new QListWidgetItem(open, QString(level * 2, QLatin1Char(' ')) + chain.at(level), m_folders);
        item->setData(kPathRole, walked);
    }
    m_folders->setCurrentRow(int(chain.size()) - 1);
    const QString indent(chain.size() * 2, QLatin1Char(' '));
    for (const QString& name : subfolders) {
        auto* item = new QListWidgetItem(closed, indent + name, m_folders);
        item->setData(kPathRole, QDir(path).filePath(name));
    }
}

void LocalPane::showFiles(const QStringList& files, const QString& keepCurrent, const QStringList& keepSelected)
{
    const QSignalBlocker quiet(m_files);
    m_files->clear();
    m_files->addItems(files);
    const int row = keepCurrent.isEmpty() ? -1 : int(files.indexOf(keepCurrent));
    if (row >= 0)
        m_files->setCurrentRow(row, keepSelected.isEmpty() ? QItemSelectionModel::ClearAndSelect
                                                           : QItemSelectionModel::NoUpdate);
    for (const QString& name : keepSelected) {
        if (QListWidgetItem* item = m_files->item(int(files.indexOf(name))))
            item->setSelected(true);
    }
}

void LocalPane::showMessage(const QString& text)
{
    m_dialogs.message(text, Dialogs::Buttons::Ok, Dialogs::Icon::Information, kAppTitle);
}

}  // namespace quillmar
