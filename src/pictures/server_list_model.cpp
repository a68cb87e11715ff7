#include "pictures/server_list_model.h"

#include "pictures/list_icons.h"

#include <QBrush>
#include <QPalette>

#include <algorithm>

namespace quillmar {

namespace {
// Room for this many rows more than twice those shown is given back.
constexpr qsizetype kSpareRows = 4096;
}

ServerListModel::ServerListModel(QObject* parent)
    : QAbstractTableModel(parent), folderIcon_(FolderIcon()), fileIcon_(FileIcon())
{
}

int ServerListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int ServerListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ServerListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const ServerRow& r = rows_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == NameColumn ? r.text : r.size.text();
    case Qt::DecorationRole:
        if (index.column() == NameColumn)
            return r.folder ? folderIcon_ : fileIcon_;
        return {};
    case Qt::ForegroundRole:
        if (r.dimmed)
            return QBrush(QPalette().color(QPalette::Disabled, QPalette::Text));
        return {};
    default:
        return {};
    }
}

QVariant ServerListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return tr("Name");
    case SizeColumn:
        return tr("Size");
    default:
        return {};
    }
}

Qt::ItemFlags ServerListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (editable_ && index.isValid() && index.column() == NameColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

bool ServerListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != NameColumn || role != Qt::EditRole || !editable_)
        return false;
    Q_EMIT renameRequested(index.row(), value.toString());
    return true;
}

void ServerListModel::clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ServerListModel::releaseSpareRoom()
{
    if (rows_.capacity() > 2 * rows_.size() + kSpareRows)
        rows_.squeeze();
}

bool ServerListModel::before(const ServerRow& a, const ServerRow& b) const
{
    return descending_ ? b.text < a.text : a.text < b.text;
}

// After every row that does not come after the given one, so equal texts stay
// in arrival order.
int ServerListModel::insertionPoint(const ServerRow& row) const
{
    auto it = std::upper_bound(rows_.cbegin(), rows_.cend(), row,
                               [this](const ServerRow& a, const ServerRow& b) { return before(a, b); });
    return int(it - rows_.cbegin());
}

void ServerListModel::appendRows(QList<ServerRow> batch)
{
    if (batch.isEmpty())
        return;
    const auto order = [this](const ServerRow& a, const ServerRow& b) { return before(a, b); };
    // Most servers send their folders in name order already.
    if (!std::is_sorted(batch.begin(), batch.end(), order))
        std::stable_sort(batch.begin(), batch.end(), order);

    // Listings mostly arrive in order: then the batch fits into one gap
    // (usually the end) and goes in as one contiguous insert.
    const int at = insertionPoint(batch.front());
    if (at == rows_.size() || before(batch.back(), rows_.at(at))) {
        beginInsertRows({}, at, at + int(batch.size()) - 1);
        if (at == rows_.size()) {
            rows_.append(std::move(batch));
        } else if (at == 0) {
            // Descending lists of ascending listings grow at the front.
            for (auto it = batch.rbegin(); it != batch.rend(); ++it)
                rows_.prepend(std::move(*it));
        } else {
            rows_.insert(at, batch.size(), ServerRow{});
            std::move(batch.begin(), batch.end(), rows_.begin() + at);
        }
        endInsertRows();
        return;
    }
    mergeIn(batch);
}

// Merges a sorted batch into the rows, keeping persistent indexes (selection,
// current row) on the rows they named.
void ServerListModel::mergeIn(const QList<ServerRow>& sorted)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<ServerRow> merged;
    merged.reserve(rows_.size() + sorted.size());
    QList<int> newPosition(rows_.size());
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < rows_.size() || j < sorted.size()) {
        // On equal texts the row already shown goes first.
        if (j == sorted.size() || (i < rows_.size() && !before(sorted.at(j), rows_.at(i)))) {
            newPosition[i] = int(merged.size());
            merged.append(std::move(rows_[i++]));
        } else {
            merged.append(sorted.at(j++));
        }
    }
    rows_ = std::move(merged);

    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from)
        to.append(index.row() < newPosition.size() ? createIndex(newPosition[index.row()], index.column())
                                                   : QModelIndex());
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ServerListModel::setDescending(bool descending)
{
    if (descending == descending_)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    descending_ = descending;
    const QList<int> newPosition = reverseKeepingArrivalOrder();
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from)
        to.append(createIndex(newPosition[index.row()], index.column()));
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// The rows are sorted in the old direction; reversing sorts them in the new
// one, and turning each run of equal texts back restores their arrival order.
// Returns where each old row went.
QList<int> ServerListModel::reverseKeepingArrivalOrder()
{
    const int count = int(rows_.size());
    QList<int> newPosition(count);
    std::reverse(rows_.begin(), rows_.end());
    int runStart = 0;
    while (runStart < count) {
        int runEnd = runStart + 1;
        while (runEnd < count && rows_.at(runEnd).text == rows_.at(runStart).text)
            ++runEnd;
        std::reverse(rows_.begin() + runStart, rows_.begin() + runEnd);
        for (int mirrored = runStart; mirrored < runEnd; ++mirrored)
            newPosition[count - 1 - mirrored] = runStart + runEnd - 1 - mirrored;
        runStart = runEnd;
    }
    return newPosition;
}

QStringList ServerListModel::rowTexts() const
{
    QStringList texts;
    texts.reserve(rows_.size());
    for (const ServerRow& r : rows_)
        texts.append(r.text);
    return texts;
}

void ServerListModel::setRowText(int row, const QString& text)
{
    if (row < 0 || row >= rows_.size())
        return;
    ServerRow moved = rows_.takeAt(row);
    moved.text = text;
    const int target = insertionPoint(moved);  // among the other rows
    rows_.insert(row, std::move(moved));      // back in place until the move is announced
    if (target != row) {
        // beginMoveRows counts the destination before the move.
        beginMoveRows({}, row, row, {}, target > row ? target + 1 : target);
        rows_.move(row, target);
        endMoveRows();
    }
    Q_EMIT dataChanged(index(target, NameColumn), index(target, NameColumn));
}

void ServerListModel::setDimmed(int row, bool dimmed)
{
    if (row < 0 || row >= rows_.size() || rows_.at(row).dimmed == dimmed)
        return;
    rows_[row].dimmed = dimmed;
    Q_EMIT dataChanged(index(row, NameColumn), index(row, SizeColumn), {Qt::ForegroundRole});
}

void ServerListModel::setEditable(bool editable)
{
    if (editable == editable_)
        return;
    editable_ = editable;
    if (!rows_.isEmpty())
        Q_EMIT dataChanged(index(0, NameColumn), index(int(rows_.size()) - 1, NameColumn));
    Q_EMIT editableChanged(editable);
}

QList<ChosenRow> ChosenRows(const ServerListModel& model, const QList<int>& rows)
{
    QList<ChosenRow> chosen;
    chosen.reserve(rows.size());
    for (const int row : rows)
        chosen.append({model.index(row, ServerListModel::NameColumn), model.row(row)});
    return chosen;
}

}  // namespace quillmar
