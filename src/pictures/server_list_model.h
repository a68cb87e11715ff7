#pragma once

#include "session/listing.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>

namespace quillmar {

// One row of the server list: "images/" for a folder, the file name otherwise.
struct ServerRow {
    QString text;
    ListedSize size;      // the "Size" column
    bool folder = false;
    bool dimmed = false;  // shown grey, e.g. while a delete is under way
    bool link = false;    // a file row that may lead to a folder
    qint64 bytes = -1;    // the listed size of a plain file; -1 when not known
    QString dateText;     // when it last changed, as the server gave it
    QDateTime modified;   // the exact time (UTC) where the server gave one
};

}  // namespace quillmar

// Moved in memory as a block: a list of 100,000 rows grows without moving
// each row on its own.
Q_DECLARE_TYPEINFO(quillmar::ServerRow, Q_RELOCATABLE_TYPE);

namespace quillmar {

// The rows of the server list, always ordered by their text (plain code-unit
// comparison, letter case counts), ascending or descending. Rows with equal
// texts keep the order they arrived in.
class ServerListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn = 0, SizeColumn = 1, ColumnCount };

    explicit ServerListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edit of the name does not change the row; it asks whoever listens.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Empties the list. Its room stays for the next listing, most often of
    // the same folder, so a long listing is not grown and copied again;
    // releaseSpareRoom() gives back what the rows do not need.
    void clear();
    void releaseSpareRoom();
    // Places a batch of rows in order: sorted once, then merged with the rows
    // already shown.
    void appendRows(QList<ServerRow> batch);

    bool descending() const { return descending_; }
    void setDescending(bool descending);

    int size() const { return int(rows_.size()); }
    const ServerRow& row(int row) const { return rows_.at(row); }
    QStringList rowTexts() const;

    // Gives a row a new text and moves it to where the new text belongs.
    void setRowText(int row, const QString& text);
    void setDimmed(int row, bool dimmed);

    bool editable() const { return editable_; }
    void setEditable(bool editable);

Q_SIGNALS:
    void renameRequested(int row, const QString& newText);
    void editableChanged(bool editable);

private:
    bool before(const ServerRow& a, const ServerRow& b) const;
    int insertionPoint(const ServerRow& row) const;
    void mergeIn(const QList<ServerRow>& sorted);
    QList<int> reverseKeepingArrivalOrder();

    QList<ServerRow> rows_;
    bool descending_ = false;
    bool editable_ = false;
    QIcon folderIcon_;
    QIcon fileIcon_;
};

// A row as it was when chosen, and where the list holds it while it does:
// a command that waits for an answer may see the list emptied (the server
// closed the idle connection) or read again meanwhile.
struct ChosenRow {
    QPersistentModelIndex index;
    ServerRow row;
};
QList<ChosenRow> ChosenRows(const ServerListModel& model, const QList<int>& rows);

}  // namespace quillmar
