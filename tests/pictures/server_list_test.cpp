#include "pictures/server_list_model.h"
#include "pictures/server_list_view.h"
#include "support/qt_printers.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using quillmar::ServerListModel;
using quillmar::ServerListView;
using quillmar::ServerRow;

namespace {

ServerRow File(const QString& name, const QString& size = QStringLiteral("1 bytes"))
{
    return {name, size, false};
}

ServerRow Folder(const QString& name)
{
    return {name + QLatin1Char('/'), {}, true};
}

QStringList SizeTexts(const ServerListModel& model)
{
    QStringList sizes;
    for (int i = 0; i < model.size(); ++i)
        sizes.append(model.row(i).sizeText);
    return sizes;
}

TEST(ServerListOrder, PlainTextOrderBothWays)
{
    ServerListModel model;
    model.appendRows({File("index.htm"), Folder("images"), File("icon.gif"), File("Zebra.jpg"), File("a.gif")});
    const QStringList ascending{"Zebra.jpg", "a.gif", "icon.gif", "images/", "index.htm"};
    EXPECT_EQ(model.rowTexts(), ascending);

    model.setDescending(true);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(model.rowTexts(), descending);

    // A new listing after the change arrives in the new direction.
    model.clear();
    model.appendRows({File("icon.gif"), File("index.htm"), Folder("images")});
    EXPECT_EQ(model.rowTexts(), (QStringList{"index.htm", "images/", "icon.gif"}));
}

TEST(ServerListOrder, ColumnsAndRoles)
{
    ServerListModel model;
    model.appendRows({Folder("pics"), File("a.jpg", "512 bytes")});
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Size");
    EXPECT_EQ(model.index(0, 0).data().toString(), "a.jpg");
    EXPECT_EQ(model.index(0, 1).data().toString(), "512 bytes");
    EXPECT_EQ(model.index(1, 1).data().toString(), "");
    EXPECT_FALSE(model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(model.index(0, 0).data(Qt::ForegroundRole).isValid());
    model.setDimmed(0, true);
    EXPECT_TRUE(model.index(0, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_TRUE(model.row(0).dimmed);
    EXPECT_FALSE(model.row(1).dimmed);
}

// Batches in any order, direction flips in between: the list always equals a
// stable sort of everything that arrived, in the current direction.
TEST(ServerListOrder, BatchesMergeLikeOneStableSort)
{
    std::mt19937 random(20240611);
    const QStringList names{"a", "b", "B", "c", "images/", "icon.gif", "index.htm", "", "zz"};
    for (int round = 0; round < 40; ++round) {
        ServerListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        QList<ServerRow> arrived;
        int serial = 0;
        const int batches = 1 + int(random() % 8);
        for (int b = 0; b < batches; ++b) {
            if (random() % 4 == 0)
                model.setDescending(!model.descending());
            QList<ServerRow> batch;
            const int count = int(random() % 7);
            for (int i = 0; i < count; ++i)
                batch.append(File(names.at(int(random() % names.size())), QString::number(serial++)));
            arrived += batch;
            model.appendRows(batch);

            QList<ServerRow> expected = arrived;
            const bool down = model.descending();
            std::stable_sort(expected.begin(), expected.end(), [down](const ServerRow& x, const ServerRow& y) {
                return down ? y.text < x.text : x.text < y.text;
            });
            QStringList expectedIds;
            for (const ServerRow& r : expected)
                expectedIds.append(r.sizeText);
            ASSERT_EQ(SizeTexts(model), expectedIds) << "round " << round << " batch " << b;
        }
    }
}

TEST(ServerListOrder, EqualTextsKeepArrivalOrderAcrossDirectionChanges)
{
    ServerListModel model;
    model.appendRows({File("same", "1"), File("x", "2"), File("same", "3")});
    model.appendRows({File("same", "4")});
    EXPECT_EQ(SizeTexts(model), (QStringList{"1", "3", "4", "2"}));
    model.setDescending(true);
    EXPECT_EQ(SizeTexts(model), (QStringList{"2", "1", "3", "4"}));
    model.setDescending(false);
    EXPECT_EQ(SizeTexts(model), (QStringList{"1", "3", "4", "2"}));
}

TEST(ServerListOrder, SelectionFollowsItsRowThroughMergesAndFlips)
{
    ServerListView view(new ServerListModel);
    ServerListModel& model = *view.listModel();
    model.appendRows({File("b"), File("d"), File("f")});
    view.selectionModel()->select(model.index(1, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    model.appendRows({File("a"), File("e"), File("c")});  // spreads over several gaps
    EXPECT_EQ(view.selectedRowText(), "d");
    model.setDescending(true);
    EXPECT_EQ(view.selectedRowText(), "d");
    EXPECT_EQ(view.selectedRows(), QList<int>{2});
}

TEST(ServerListOrder, RenamedRowMovesToItsPlace)
{
    ServerListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.appendRows({File("b"), File("d"), File("f")});
    model.setRowText(0, "g");
    EXPECT_EQ(model.rowTexts(), (QStringList{"d", "f", "g"}));
    model.setRowText(2, "a");
    EXPECT_EQ(model.rowTexts(), (QStringList{"a", "d", "f"}));
    model.setRowText(1, "e");
    EXPECT_EQ(model.rowTexts(), (QStringList{"a", "e", "f"}));
}

TEST(ServerListOrder, EditingTheNameAsksInsteadOfChanging)
{
    ServerListModel model;
    model.appendRows({File("old.jpg")});
    const QModelIndex name = model.index(0, 0);
    EXPECT_FALSE(model.flags(name).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(model.setData(name, "new.jpg"));

    model.setEditable(true);
    EXPECT_TRUE(model.flags(name).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(model.flags(model.index(0, 1)).testFlag(Qt::ItemIsEditable));
    QSignalSpy asked(&model, &ServerListModel::renameRequested);
    model.setData(name, "new.jpg");
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked.at(0).at(0).toInt(), 0);
    EXPECT_EQ(asked.at(0).at(1).toString(), "new.jpg");
    EXPECT_EQ(model.row(0).text, "old.jpg");
}

TEST(ServerListOrder, ClearsALargeList)
{
    ServerListView view(new ServerListModel);
    ServerListModel& model = *view.listModel();
    QList<ServerRow> rows;
    for (int i = 0; i < 100000; ++i)
        rows.append(File(QStringLiteral("file%1.jpg").arg(i, 6, 10, QLatin1Char('0'))));
    model.appendRows(rows);
    ASSERT_EQ(model.rowCount(), 100000);
    view.selectAll();
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(view.selectedRows().isEmpty());
    EXPECT_EQ(view.selectedRowText(), "");
}

// A parent that notes the keys its children leave to it.
class KeyCatcher : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.append(event->key()); }
};

class ServerListViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = new ServerListView(new ServerListModel, &window);
        view->setGeometry(0, 0, 240, 300);
        model = view->listModel();
        model->appendRows({File("icon.gif"), Folder("images"), File("index.htm")});
        window.resize(240, 300);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        arrowFrame = view->findChild<QWidget*>("arrowframe");
        down = view->findChild<QWidget*>("FileArrow0");
        up = view->findChild<QWidget*>("FileArrow1");
        ASSERT_TRUE(arrowFrame && down && up);
    }

    void clickHeading(int section)
    {
        QHeaderView* head = view->header();
        const QPoint at(head->sectionViewportPosition(section) + head->sectionSize(section) / 2, head->height() / 2);
        QTest::mouseClick(head->viewport(), Qt::LeftButton, {}, at);
    }

    QPoint rowCentre(int row) const { return view->visualRect(model->index(row, 0)).center(); }

    void expectAscending(bool ascending)
    {
        EXPECT_EQ(model->descending(), !ascending);
        EXPECT_TRUE(down->isVisibleTo(arrowFrame));
        EXPECT_EQ(up->isVisibleTo(arrowFrame), !ascending);
    }

    KeyCatcher window;
    ServerListView* view = nullptr;
    ServerListModel* model = nullptr;
    QWidget* arrowFrame = nullptr;
    QWidget* down = nullptr;
    QWidget* up = nullptr;
};

TEST_F(ServerListViewTest, StartsInReportViewAscendingWithDesignWidths)
{
    EXPECT_EQ(view->objectName(), "ListView1");
    EXPECT_TRUE(view->reportView());
    EXPECT_EQ(view->columnWidth(0), 133);
    EXPECT_EQ(view->columnWidth(1), 96);
    EXPECT_EQ(arrowFrame->size(), QSize(16, 13));
    EXPECT_TRUE(arrowFrame->isVisibleTo(view));
    expectAscending(true);
}

TEST_F(ServerListViewTest, NameHeadingTogglesSizeHeadingDoesNot)
{
    clickHeading(0);
    expectAscending(false);
    EXPECT_EQ(model->rowTexts(), (QStringList{"index.htm", "images/", "icon.gif"}));
    clickHeading(1);
    expectAscending(false);
    EXPECT_EQ(model->rowTexts(), (QStringList{"index.htm", "images/", "icon.gif"}));
    clickHeading(0);
    expectAscending(true);
    EXPECT_EQ(model->rowTexts(), (QStringList{"icon.gif", "images/", "index.htm"}));
}

TEST_F(ServerListViewTest, ArrowsClickLikeTheHeadingEvenOnAnEmptyList)
{
    model->clear();
    QTest::mouseClick(down, Qt::LeftButton);
    expectAscending(false);
    model->appendRows({File("a"), File("c"), File("b")});
    EXPECT_EQ(model->rowTexts(), (QStringList{"c", "b", "a"}));
    QTest::mouseClick(up, Qt::LeftButton);
    expectAscending(true);
    EXPECT_EQ(model->rowTexts(), (QStringList{"a", "b", "c"}));
}

TEST_F(ServerListViewTest, ArrowsSitOverTheRightEndOfTheNameHeading)
{
    auto nameHeading = [&] {
        QHeaderView* head = view->header();
        return QRect(head->mapTo(view, QPoint(head->sectionViewportPosition(0), 0)),
                     QSize(head->sectionSize(0), head->height()));
    };
    EXPECT_TRUE(nameHeading().contains(arrowFrame->geometry())) << "frame outside the Name heading";
    EXPECT_GE(arrowFrame->geometry().left(), nameHeading().center().x());

    view->setColumnWidth(0, 200);
    EXPECT_TRUE(nameHeading().contains(arrowFrame->geometry())) << "frame did not follow the resize";
    EXPECT_GE(arrowFrame->geometry().left(), nameHeading().center().x());
}

TEST_F(ServerListViewTest, SmallIconViewHidesColumnsAndArrowsKeepingDirection)
{
    QTest::mouseClick(down, Qt::LeftButton);
    view->setReportView(false);
    EXPECT_FALSE(view->reportView());
    EXPECT_FALSE(arrowFrame->isVisibleTo(view));
    EXPECT_FALSE(view->header()->isVisibleTo(view));
    EXPECT_TRUE(view->isColumnHidden(1));
    EXPECT_TRUE(model->descending());

    view->setReportView(true);
    EXPECT_TRUE(arrowFrame->isVisibleTo(view));
    EXPECT_TRUE(view->header()->isVisibleTo(view));
    EXPECT_FALSE(view->isColumnHidden(1));
    expectAscending(false);
}

TEST_F(ServerListViewTest, RightReleaseAsksForTheMenuAndKeepsTheSelection)
{
    QSignalSpy menu(view, &ServerListView::rightButtonReleased);
    QSignalSpy clicked(view, &ServerListView::rowClicked);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(0));
    EXPECT_EQ(menu.count(), 0);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(view->selectedRowText(), "icon.gif");

    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, rowCentre(2));
    EXPECT_EQ(menu.count(), 1);
    EXPECT_EQ(view->selectedRowText(), "icon.gif");
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(10, view->viewport()->height() - 5));
    EXPECT_EQ(menu.count(), 2);
    QTest::mouseClick(view->viewport(), Qt::MiddleButton, {}, rowCentre(1));
    EXPECT_EQ(menu.count(), 2);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(ServerListViewTest, KeyboardMoveCountsAsAClick)
{
    QSignalSpy clicked(view, &ServerListView::rowClicked);
    view->setCurrentIndex(model->index(0, 0));
    EXPECT_EQ(clicked.count(), 0);
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(view->selectedRowText(), "images/");
}

TEST_F(ServerListViewTest, DeleteKeyReachesTheWindow)
{
    view->setCurrentIndex(model->index(1, 0));
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(window.keys, QList<int>{Qt::Key_Delete});
    EXPECT_EQ(model->size(), 3);
}

TEST_F(ServerListViewTest, MultipleRowsSelectInListOrder)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(0));
    EXPECT_EQ(view->selectedRows(), (QList<int>{0, 2}));
    EXPECT_EQ(view->selectedRowText(), "icon.gif");  // the current row
}

TEST_F(ServerListViewTest, DoubleClickIsReportedAlsoOnAnEmptyList)
{
    QSignalSpy doubled(view, &ServerListView::rowDoubleClicked);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(1));
    EXPECT_EQ(doubled.count(), 1);
    model->clear();
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(doubled.count(), 2);
}

}  // namespace
