#include "pictures/server_list_view.h"

#include "pictures/list_input.h"
#include "pictures/local_pane.h"
#include "pictures/server_list_model.h"
#include "session/ftp_component.h"
#include "shell/constants.h"
#include "shell/main_context.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>

#include <algorithm>

namespace quillmar {

namespace {

constexpr int kNameWidth = 2000 / kTwipsPerPixel;
constexpr int kSizeWidth = 1440 / kTwipsPerPixel;
constexpr QSize kArrowSize(240 / kTwipsPerPixel, 195 / kTwipsPerPixel);  // 16 x 13

// A curved arrow: an arc bending over to a head at the bottom right; the
// upward one is its mirror image.
QPixmap DrawArrow(SortArrow::Direction direction)
{
    QPixmap pixmap(kArrowSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    if (direction == SortArrow::Direction::Up) {
        p.translate(0, kArrowSize.height());
        p.scale(1, -1);
    }
    QPainterPath shaft;
    shaft.moveTo(3, 2);
    shaft.cubicTo(9, 2, 11, 4, 11, 8);
    p.setPen(QPen(QColor(0x20, 0x20, 0x80), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shaft);
    const QPointF head[] = {{7.5, 7.5}, {14.5, 7.5}, {11, 12}};
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x20, 0x80));
    p.drawPolygon(head, 3);
    return pixmap;
}

// The local files among the dropped addresses; folders and remote
// addresses are not uploaded.
QStringList DroppedFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data || data->hasFormat(QLatin1String(kServerRowsMime)))
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

}  // namespace

SortArrow::SortArrow(Direction direction, QWidget* parent) : QLabel(parent)
{
    setPixmap(DrawArrow(direction));
    setFixedSize(kArrowSize);
    setCursor(Qt::PointingHandCursor);
}

void SortArrow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

ServerListView::ServerListView(ServerListModel* model, QWidget* parent)
    : QTableView(parent), model_(model)
{
    setObjectName(QStringLiteral("ListView1"));
    if (!model_->parent())
        model_->setParent(this);
    setModel(model_);
    // Enter opens the current row as a double click does.
    auto* input = new ListInput(this);
    connect(input, &ListInput::focusEntered, this, &ServerListView::focusEntered);
    connect(input, &ListInput::rightButtonReleased, this, &ServerListView::rightButtonReleased);
    connect(input, &ListInput::currentMovedByKey, this, &ServerListView::rowClicked);
    connect(input, &ListInput::enterPressed, this, &ServerListView::rowDoubleClicked);
    // A flat table: rows of one fixed height, so a listing of any length
    // is placed without measuring every row.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(18, fontMetrics().height() + 2));
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false);
    setIconSize(QSize(16, 16));

    QHeaderView* head = header();
    head->setHighlightSections(false);
    head->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    head->setSortIndicatorShown(false);
    head->setSectionsClickable(true);
    head->setSectionsMovable(false);
    head->setStretchLastSection(false);
    // The name takes the room the list gets; the size keeps its width.
    head->setMinimumSectionSize(40);
    head->setSectionResizeMode(ServerListModel::NameColumn, QHeaderView::Stretch);
    setColumnWidth(ServerListModel::NameColumn, kNameWidth);
    setColumnWidth(ServerListModel::SizeColumn, kSizeWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    viewport()->setAcceptDrops(true);
    connect(head, &QHeaderView::sectionClicked, this, &ServerListView::onSectionClicked);
    connect(head, &QHeaderView::sectionResized, this, &ServerListView::placeArrows);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, &ServerListView::placeArrows);

    // Both pictures sit at the same spot; the upward one lies on top and,
    // being filled, covers the downward one while it is shown.
    arrowFrame_ = new QWidget(this);
    arrowFrame_->setObjectName(QStringLiteral("arrowframe"));
    arrowFrame_->setFixedSize(kArrowSize);
    arrowDown_ = new SortArrow(SortArrow::Direction::Down, arrowFrame_);
    arrowDown_->setObjectName(QStringLiteral("FileArrow0"));
    arrowUp_ = new SortArrow(SortArrow::Direction::Up, arrowFrame_);
    arrowUp_->setObjectName(QStringLiteral("FileArrow1"));
    arrowUp_->setAutoFillBackground(true);
    arrowUp_->setBackgroundRole(QPalette::Button);
    arrowUp_->raise();
    connect(arrowDown_, &SortArrow::clicked, this, &ServerListView::toggleSortDirection);
    connect(arrowUp_, &SortArrow::clicked, this, &ServerListView::toggleSortDirection);

    applyEditTriggers(model_->editable());
    connect(model_, &ServerListModel::editableChanged, this, &ServerListView::applyEditTriggers);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex&) { Q_EMIT rowClicked(); });

    showDirection();
    placeArrows();
}

void ServerListView::onSectionClicked(int section)
{
    if (section == ServerListModel::NameColumn)
        toggleSortDirection();
}

void ServerListView::toggleSortDirection()
{
    model_->setDescending(!model_->descending());
    showDirection();
}

void ServerListView::showDirection()
{
    arrowDown_->setVisible(true);
    arrowUp_->setVisible(model_->descending());
}

void ServerListView::setReportView(bool report)
{
    reportView_ = report;
    header()->setVisible(report);
    setColumnHidden(ServerListModel::SizeColumn, !report);
    arrowFrame_->setVisible(report);
    placeArrows();
}

// Inside the Name heading, against its right end, centred in height.
void ServerListView::placeArrows()
{
    if (!arrowFrame_)
        return;  // the table places its headings before the arrows exist
    const QHeaderView* head = header();
    const int right = head->sectionViewportPosition(ServerListModel::NameColumn)
                      + head->sectionSize(ServerListModel::NameColumn);
    const int x = head->geometry().left() + std::max(0, right - kArrowSize.width() - 3);
    const int y = head->geometry().top() + std::max(0, (head->height() - kArrowSize.height()) / 2);
    arrowFrame_->move(x, y);
    arrowFrame_->raise();
}

QSize ServerListView::viewportSizeHint() const
{
    // The list sits in a frame of fixed size; a hint from the rows would
    // measure every row each time the window's layout runs.
    return viewport()->size();
}

void ServerListView::updateGeometries()
{
    QTableView::updateGeometries();
    placeArrows();
}

void ServerListView::applyEditTriggers(bool editable)
{
    setEditTriggers(editable ? QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked
                             : QAbstractItemView::NoEditTriggers);
}

QList<int> ServerListView::selectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows(ServerListModel::NameColumn))
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QString ServerListView::selectedRowText() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), {}))
        return model_->row(current.row()).text;
    const QList<int> rows = selectedRows();
    return rows.isEmpty() ? QString() : model_->row(rows.first()).text;
}

void ServerListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    // Below the last row nothing is aimed at, though a row is still current;
    // an empty list still says what to do first.
    const bool onRow = indexAt(event->position().toPoint()).isValid();
    if (event->button() == Qt::LeftButton && (onRow || model_->rowCount() == 0))
        Q_EMIT rowDoubleClicked();
}

// Rows travel as their texts; the local file list downloads them.
void ServerListView::startDrag(Qt::DropActions)
{
    QStringList texts;
    for (int row : selectedRows()) {
        if (!model_->row(row).folder)
            texts.append(model_->row(row).text);
    }
    if (texts.isEmpty())
        return;
    auto* data = new QMimeData;
    data->setData(QLatin1String(kServerRowsMime), texts.join(QLatin1Char('\n')).toUtf8());
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

void ServerListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (DroppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void ServerListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (DroppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void ServerListView::dropEvent(QDropEvent* event)
{
    const QStringList paths = DroppedFiles(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT filesDropped(paths);
}

void ServerListView::setPlaceholderText(const QString& text)
{
    placeholder_ = text;
    viewport()->update();
}

void ServerListView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (placeholder_.isEmpty() || model_->size() > 0)
        return;
    constexpr int kPlaceholderMargin = 12;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(kPlaceholderMargin, kPlaceholderMargin, -kPlaceholderMargin,
                                                 -kPlaceholderMargin),
                     Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
}

QString SelectedServerRow(const ServerListView& view)
{
    const QString text = view.selectedRowText();
    if (text.isEmpty())
        throw NoRowSelected();
    return text;
}

}  // namespace quillmar
