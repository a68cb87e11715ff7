#pragma once

#include <QLabel>
#include <QList>
#include <QPoint>
#include <QHeaderView>
#include <QTableView>

namespace quillmar {

class ServerListModel;

// One of the two sort-direction pictures over the Name heading; a click on it
// counts as a click on the heading.
class SortArrow : public QLabel {
    Q_OBJECT
public:
    enum class Direction { Down, Up };
    SortArrow(Direction direction, QWidget* parent);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The server list: two columns (Name, Size), report or small-icon view, kept
// in name order with our own direction arrows instead of the header's
// indicator.
class ServerListView : public QTableView {
    Q_OBJECT
public:
    // A model without a parent is adopted by the view and dies with it.
    ServerListView(ServerListModel* model, QWidget* parent = nullptr);

    // The column headings ("Name", "Size").
    QHeaderView* header() const { return horizontalHeader(); }

    ServerListModel* listModel() const { return model_; }

    // Same as clicking the Name heading or either arrow.
    void toggleSortDirection();

    bool reportView() const { return reportView_; }
    void setReportView(bool report);

    // The current row's text when it is selected, else the first selected
    // row's; empty when nothing is selected.
    QString selectedRowText() const;
    QList<int> selectedRows() const;  // in list order

    // A text shown in the middle of the list while it has no rows (how to
    // begin); empty for none.
    QString placeholderText() const { return placeholder_; }
    void setPlaceholderText(const QString& text);

Q_SIGNALS:
    void focusEntered();
    void rightButtonReleased(const QPoint& globalPos);
    void rowClicked();
    // Any left double click in the list, also on empty space, and Enter:
    // the handler decides what an empty list means.
    void rowDoubleClicked();
    // Local files dropped on the list (from the local pane or a file manager).
    void filesDropped(const QStringList& paths);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;
    QSize viewportSizeHint() const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void onSectionClicked(int section);
    void showDirection();
    void placeArrows();
    void applyEditTriggers(bool editable);

    ServerListModel* model_;
    QWidget* arrowFrame_ = nullptr;
    SortArrow* arrowDown_ = nullptr;
    SortArrow* arrowUp_ = nullptr;
    bool reportView_ = true;
    QString placeholder_;
};

// The text of the list's selected row for a command that needs one; throws
// NoRowSelected() when none is selected.
QString SelectedServerRow(const ServerListView& view);

}  // namespace quillmar
