#include "pictures/server_list_model.h"

#include "pictures/list_icons.h"

#include <QBrush>
#include <QPalette>

#include <algorithm>

namespace quillmar {

ServerListModel::ServerListModel(QObject* parent)
    : QAbstractTableModel(parent), m_folderIcon(FolderIcon()), m_fileIcon(FileIcon())
{
}

int ServerListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ServerListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ServerListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const ServerRow& r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == NameColumn ? r.text : r.sizeText;
    case Qt::DecorationRole:
        if (index.column() == NameColumn)
            return r.folder ? m_folderIcon : m_fileIcon;
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
    if (m_editable && index.isValid() && index.column() == NameColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

bool ServerListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != NameColumn || role != Qt::EditRole || !m_editable)
        return false;
    Q_EMIT renameRequested(index.row(), value.toString());
    return true;
}

void ServerListModel::clear()
{
    beginResetModel();
    m_rows = {};
    endResetModel();
}

bool ServerListModel::before(const ServerRow& a, const ServerRow& b) const
{
    return m_descending ? b.text < a.text : a.text < b.text;
}

// After every row that does not come after the given one, so equal texts stay
// in arrival order.
int ServerListModel::insertionPoint(const ServerRow& row) const
{
    auto it = std::upper_bound(m_rows.cbegin(), m_rows.cend(), row,
                               [this](const ServerRow& a, const ServerRow& b) { return before(a, b); });
    return int(it - m_rows.cbegin());
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
    if (at == m_rows.size() || before(batch.back(), m_rows.at(at))) {
        beginInsertRows({}, at, at + int(batch.size()) - 1);
        if (at == m_rows.size()) {
            m_rows.append(std::move(batch));
        } else if (at == 0) {
            // Descending lists of ascending listings grow at the front.
            for (auto it = batch.rbegin(); it != batch.rend(); ++it)
                m_rows.prepend(std::move(*it));
        } else {
            m_rows.insert(at, batch.size(), ServerRow{});
            std::move(batch.begin(), batch.end(), m_rows.begin() + at);
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
    merged.reserve(m_rows.size() + sorted.size());
    QList<int> newPosition(m_rows.size());
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < m_rows.size() || j < sorted.size()) {
        // On equal texts the row already shown goes first.
        if (j == sorted.size() || (i < m_rows.size() && !before(sorted.at(j), m_rows.at(i)))) {
            newPosition[i] = int(merged.size());
            merged.append(std::move(m_rows[i++]));
        } else {
            merged.append(sorted.at(j++));
        }
    }
    m_rows = std::move(merged);

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
    if (descending == m_descending)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_descending = descending;
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
    const int count = int(m_rows.size());
    QList<int> newPosition(count);
    std::reverse(m_rows.begin(), m_rows.end());
    int runStart = 0;
    while (runStart < count) {
        int runEnd = runStart + 1;
        while (runEnd < count && m_rows.at(runEnd).text == m_rows.at(runStart).text)
            ++runEnd;
        std::reverse(m_rows.begin() + runStart, m_rows.begin() + runEnd);
        for (int mirrored = runStart; mirrored < runEnd; ++mirrored)
            newPosition[count - 1 - mirrored] = runStart + runEnd - 1 - mirrored;
        runStart = runEnd;
    }
    return newPosition;
}

QStringList ServerListModel::rowTexts() const
{
    QStringList texts;
    texts.reserve(m_rows.size());
    for (const ServerRow& r : m_rows)
        texts.append(r.text);
    return texts;
}

void ServerListModel::setRowText(int row, const QString& text)
{
    if (row < 0 || row >= m_rows.size())
        return;
    ServerRow moved = m_rows.takeAt(row);
    moved.text = text;
    const int target = insertionPoint(moved);  // among the other rows
    m_rows.insert(row, std::move(moved));      // back in place until the move is announced
    if (target != row) {
        // beginMoveRows counts the destination before the move.
        beginMoveRows({}, row, row, {}, target > row ? target + 1 : target);
        m_rows.move(row, target);
        endMoveRows();
    }
    Q_EMIT dataChanged(index(target, NameColumn), index(target, NameColumn));
}

void ServerListModel::setDimmed(int row, bool dimmed)
{
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).dimmed == dimmed)
        return;
    m_rows[row].dimmed = dimmed;
    Q_EMIT dataChanged(index(row, NameColumn), index(row, SizeColumn), {Qt::ForegroundRole});
}

void ServerListModel::setEditable(bool editable)
{
    if (editable == m_editable)
        return;
    m_editable = editable;
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, NameColumn), index(int(m_rows.size()) - 1, NameColumn));
    Q_EMIT editableChanged(editable);
}

}  // namespace quillmar
