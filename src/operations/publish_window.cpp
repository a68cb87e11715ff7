#include "operations/publish_window.h"

#include "operations/published_copies.h"
#include "operations/transfers.h"
#include "pictures/picture_frame.h"
#include "pictures/picture_rules.h"
#include "pictures/preview.h"
#include "pictures/local_pane.h"
#include "pictures/server_list_model.h"
#include "session/entry_names.h"
#include "session/ftp_component.h"
#include "session/listing.h"
#include "browse/session_controller.h"
#include "shell/constants.h"
#include "shell/feedback.h"
#include "shell/services.h"
#include "shell/window_kit.h"

#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QKeyEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillmar {

namespace {

constexpr QSize kWindowSize(760, 480);
constexpr int kThumbnailSide = 200;
constexpr int kThumbnailMargin = 4;

// Only rows that publishing would send can be ticked.
bool Sendable(PublishKind kind) { return kind == PublishKind::New || kind == PublishKind::Changed; }

// The server list's rows in the terms of a listing.
QList<ListRow> ShownRows(const ServerListModel& model)
{
    QList<ListRow> rows;
    rows.reserve(model.size());
    for (int i = 0; i < model.size(); ++i) {
        const ServerRow& shown = model.row(i);
        rows.append(ListRow{shown.text, shown.folder, shown.size, std::max<qint64>(shown.bytes, 0), shown.link,
                            shown.dateText, shown.modified});
        if (!shown.folder && shown.bytes < 0)
            rows.back().size = ListedSize();   // no size known
    }
    return rows;
}

}  // namespace

PublishWindow::PublishWindow(MainContext& context, SessionController& session, TransferController& transfers,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(context), session_(session), transfers_(transfers)
{
    setObjectName(QStringLiteral("frmPublish"));
    setWindowTitle(QStringLiteral("Publish Folder"));
    buildElements();
}

void PublishWindow::buildElements()
{
    auto* layout = new QVBoxLayout(this);
    folders_ = new QLabel(this);
    folders_->setObjectName(QStringLiteral("lblFolders"));
    folders_->setWordWrap(true);
    layout->addWidget(folders_);
    subFolders_ = new QCheckBox(QStringLiteral("Include &sub-folders"), this);
    subFolders_->setObjectName(QStringLiteral("chkSubFolders"));
    layout->addWidget(subFolders_);

    auto* middle = new QHBoxLayout;
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("lvwPublish"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({QStringLiteral("File"), QStringLiteral("What happens"), QStringLiteral("Size")});
    list_->header()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    list_->header()->setStretchLastSection(false);
    middle->addWidget(list_, 1);
    thumbnail_ = new QWidget(this);
    thumbnail_->setObjectName(QStringLiteral("picThumbnail"));
    thumbnail_->setFixedSize(kThumbnailSide, kThumbnailSide);
    const PictureFrame frame = AddPictureFrame(thumbnail_);
    KeepFilling(thumbnail_, frame.picback,
                QMargins(kThumbnailMargin, kThumbnailMargin, kThumbnailMargin, kThumbnailMargin));
    middle->addWidget(thumbnail_, 0, Qt::AlignTop);
    layout->addLayout(middle, 1);

    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("lblCounts"));
    layout->addWidget(counts_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    publish_ = new QPushButton(QStringLiteral("&Publish"), this);
    publish_->setObjectName(QStringLiteral("cmdPublish"));
    auto* closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    buttons->addWidget(publish_);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    MakeDefaultButton(this, publish_);
    resize(kWindowSize);

    connect(&ctx_.ftp, &FtpComponent::Busy, this, [this](bool running) { running_ = running; });
    connect(publish_, &QPushButton::clicked, this, &PublishWindow::cmdPublish_Click);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(subFolders_, &QCheckBox::toggled, this, [this] { compare(false, false); });
    connect(list_, &QTreeWidget::currentItemChanged, this, &PublishWindow::showThumbnail);
    connect(list_, &QTreeWidget::itemChanged, this, &PublishWindow::updateCounts);
}

bool PublishWindow::Open()
{
    if (!compare(true, false))
        return false;
    if (!isVisible())
        PlaceOverMainWindow(this);
    show();
    raise();
    activateWindow();
    return true;
}

bool PublishWindow::compare(bool relist, bool quiet)
{
    localFolder_ = ctx_.localPane.folder();
    const QList<LocalFile> local = ReadLocalFiles(localFolder_, subFolders_->isChecked());
    QHash<QString, const LocalFile*> byPath;
    QSet<QString> localFolders;
    byPath.reserve(local.size());
    for (const LocalFile& file : local) {
        byPath.insert(file.path, &file);
        for (qsizetype slash = file.path.indexOf(u'/'); slash > 0; slash = file.path.indexOf(u'/', slash + 1))
            localFolders.insert(file.path.first(slash));
    }
    ServerSide server;
    const bool read = RunCommand(ctx_, [&] {
        if (!quiet)
            ctx_.feedback.status(QStringLiteral("Status: Comparing %1 with the server").arg(localFolder_));
        if (relist)
            session_.Relist();
        readServerFolder(QString(), ShownRows(ctx_.serverModel), server, byPath, localFolders);
    });
    if (!read)
        return false;
    serverFolders_ = server.folders;
    compared_ = ctx_.state.place;
    plan_ = PlanPublish(local, server.files, ctx_.state.upload.webReady,
                        ctx_.state.upload.webReady ? ReadPublishedCopies(ctx_.services.appFolder, ctx_.state.place)
                                                   : PublishedCopies());
    folders_->setText(QStringLiteral("From %1 to %2 on the server")
                          .arg(QDir::toNativeSeparators(localFolder_),
                               ctx_.state.place.folder.isEmpty() ? QStringLiteral("the current folder")
                                                                 : ctx_.state.place.folder));
    showPlan();
    if (!quiet)
        ctx_.feedback.status(QStringLiteral("Status: Compared: ") + PublishCountsText(plan_));
    return true;
}

void PublishWindow::readServerFolder(const QString& folder, const QList<ListRow>& rows, ServerSide& side,
                                     const QHash<QString, const LocalFile*>& local, const QSet<QString>& localFolders)
{
    QStringList deeper;
    for (const ListRow& row : rows) {
        if (row.folder) {
            const QString name = row.text.chopped(1);
            side.folders.insert(JoinPath(folder, name));
            if (localFolders.contains(JoinPath(folder, name)))
                deeper << name;
            continue;
        }
        ServerFile file{JoinPath(folder, row.text), row.size.isEmpty() ? -1 : row.bytes, row.modified};
        const LocalFile* mine = local.value(file.path);
        if (!file.modified.isValid() && mine && file.size == mine->size)
            file.modified = ctx_.ftp.ModifiedTime(row.text);
        side.files.append(file);
    }
    for (const QString& name : std::as_const(deeper)) {
        const QList<ListRow> below = session_.ListSubFolder(name);
        session_.InSubFolder(name, [&] { readServerFolder(JoinPath(folder, name), below, side, local, localFolders); });
    }
}

void PublishWindow::showPlan()
{
    const QSignalBlocker quiet(list_);
    list_->setUpdatesEnabled(false);
    list_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(plan_.rows.size());
    for (const PublishRow& row : std::as_const(plan_.rows)) {
        auto* item = new QTreeWidgetItem({row.path, PublishKindText(row.kind), SizeText(row.bytes)});
        item->setData(KindColumn, Qt::UserRole, static_cast<int>(row.kind));
        item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        if (Sendable(row.kind))
            item->setCheckState(PathColumn, Qt::Checked);
        else
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        items.append(item);
    }
    list_->addTopLevelItems(items);
    list_->resizeColumnToContents(KindColumn);
    list_->resizeColumnToContents(SizeColumn);
    list_->setUpdatesEnabled(true);
    updateCounts();
    showThumbnail();
}

void PublishWindow::updateCounts()
{
    // What is to be sent follows the ticks; the rows keep the plan's order.
    qsizetype ticked = 0;
    plan_.bytesToSend = 0;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (list_->topLevelItem(i)->checkState(PathColumn) != Qt::Checked)
            continue;
        ++ticked;
        plan_.bytesToSend += plan_.rows.at(i).bytes;
    }
    counts_->setText(PublishCountsText(plan_));
    publish_->setEnabled(ticked > 0);
}

void PublishWindow::showThumbnail()
{
    const QTreeWidgetItem* item = list_->currentItem();
    const QString path = item ? item->text(PathColumn) : QString();
    if (!IsPicture(path)) {
        ClearImage(*thumbnail_);
        return;
    }
    if (static_cast<PublishKind>(item->data(KindColumn, Qt::UserRole).toInt()) != PublishKind::OnlyOnServer)
        ShowImage(EntryPath(localFolder_, path), *thumbnail_);
    else if (!path.contains(u'/'))
        ShowServerPicture(*thumbnail_, ctx_.services.appFolder, ctx_.state.place, path);
    else
        ClearImage(*thumbnail_);
}

void PublishWindow::keyPressEvent(QKeyEvent* event)
{
    // Escape here stops a running command as it does in the main window;
    // with none running it closes the window.
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (running_ || publishing_)
        ctx_.ftp.Stop();
    else
        close();
}

void PublishWindow::cmdPublish_Click()
{
    QList<PublishJob> jobs;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list_->topLevelItem(i);
        if (item->checkState(PathColumn) != Qt::Checked)
            continue;
        const QString path = item->text(PathColumn);
        const auto kind = static_cast<PublishKind>(item->data(KindColumn, Qt::UserRole).toInt());
        jobs.append({EntryPath(localFolder_, path), path, kind == PublishKind::New});
    }
    if (jobs.isEmpty())
        return;
    // The main window stays usable meanwhile: files go only where they were compared.
    if (ctx_.state.place.site != compared_.site || ctx_.state.place.folder != compared_.folder
        || ctx_.localPane.folder() != localFolder_) {
        Inform(ctx_.services, QStringLiteral("The local or the server folder has changed since the comparison, so "
                                             "nothing was sent. The list now compares the folders shown in the "
                                             "main window; check it and press Publish again."));
        compare(true, false);
        return;
    }
    publish_->setEnabled(false);
    publishing_ = true;
    transfers_.Publish(jobs, serverFolders_);
    publishing_ = false;
    // What the server holds now; its own list was read by the publishing,
    // whose words stay in the status line.
    if (ctx_.ftp.State() != 0)
        compare(false, true);
    else
        updateCounts();
}

}  // namespace quillmar
