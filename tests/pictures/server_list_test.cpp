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

const QStringList kAscending{"icon.gif", "images/", "index.htm"};
const QStringList kDescending{"index.htm", "images/", "icon.gif"};

QList<ServerRow> ThreeRows()
{
    return {{"index.htm", quillmar::ListedSize(1)}, {"images/", {}, true}, {"icon.gif", quillmar::ListedSize(2)}};
}

// Batches in any order, direction flips in between: the list always equals a
// stable sort of everything that arrived, in the current direction.
TEST(ServerListOrder, BatchesMergeLikeOneStableSort)
{
    std::mt19937 random(20240611);
    const QStringList names{"a", "b", "B", "Zebra", "images/", "icon.gif", "index.htm", "", "zz"};
    for (int round = 0; round < 40; ++round) {
        ServerListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        QList<ServerRow> arrived;
        for (int b = 1 + int(random() % 8); b > 0; --b) {
            if (random() % 4 == 0)
                model.setDescending(!model.descending());
            QList<ServerRow> batch;
            // Past 16 rows an unstable sort shows: shorter runs sort stably anyway.
            for (int i = int(random() % 41); i > 0; --i)
                batch.append({names.at(int(random() % names.size())), quillmar::ListedSize(arrived.size() + batch.size())});
            arrived += batch;
            model.appendRows(batch);
            QList<ServerRow> expected = arrived;
            std::stable_sort(expected.begin(), expected.end(), [&](const ServerRow& x, const ServerRow& y) {
                return model.descending() ? y.text < x.text : x.text < y.text;
            });
            for (int i = 0; i < expected.size(); ++i)
                ASSERT_EQ(model.row(i).size.text(), expected.at(i).size.text()) << "round " << round << " row " << i;
        }
    }
}

TEST(ServerListOrder, SelectionAndDimmingFollowTheirRowUntilCleared)
{
    ServerListView view(new ServerListModel);
    ServerListModel& model = *view.listModel();
    model.appendRows({{"b", {}}, {"d", {}}, {"f", {}}});
    view.selectionModel()->select(model.index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    model.setDimmed(1, true);
    model.appendRows({{"a", {}}, {"e", {}}, {"c", {}}});  // spreads over several gaps
    model.setDescending(true);
    EXPECT_EQ(view.selectedRows(), QList<int>{2});
    EXPECT_EQ(view.selectedRowText(), "d");
    EXPECT_TRUE(model.index(2, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_FALSE(model.index(1, 0).data(Qt::ForegroundRole).isValid());
    view.selectAll();
    model.clear();
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
        model->appendRows(ThreeRows());
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

    void click(Qt::MouseButton button, int row) { QTest::mouseClick(view->viewport(), button, {}, rowCentre(row)); }
    QPoint rowCentre(int row) const { return view->visualRect(model->index(row, 0)).center(); }

    void expectAscending(bool ascending)
    {
        EXPECT_EQ(model->rowTexts(), ascending ? kAscending : kDescending);
        EXPECT_TRUE(down->isVisibleTo(arrowFrame));
        EXPECT_EQ(up->isVisibleTo(arrowFrame), !ascending);
    }

    KeyCatcher window;
    ServerListView* view = nullptr;
    ServerListModel* model = nullptr;
    QWidget *arrowFrame = nullptr, *down = nullptr, *up = nullptr;
};

TEST_F(ServerListViewTest, NameHeadingAndArrowsToggleSizeHeadingDoesNotAndArrowsFollowTheHeading)
{
    expectAscending(true);
    for (const auto& [section, ascending] : {std::pair{0, false}, {1, false}, {0, true}}) {
        clickHeading(section);
        expectAscending(ascending);
    }
    // The arrows work like the heading, also on an empty list; a new listing
    // arrives in the direction chosen.
    model->clear();
    QTest::mouseClick(down, Qt::LeftButton);
    model->appendRows(ThreeRows());
    expectAscending(false);
    QTest::mouseClick(up, Qt::LeftButton);
    expectAscending(true);

}

TEST_F(ServerListViewTest, OnlyARightReleaseAsksForTheMenuAndAMoveByKeyCountsAsAClick)
{
    QSignalSpy menu(view, &ServerListView::rightButtonReleased);
    QSignalSpy clicked(view, &ServerListView::rowClicked);
    click(Qt::LeftButton, 0);
    EXPECT_EQ(menu.count(), 0);
    click(Qt::RightButton, 2);
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(10, view->viewport()->height() - 5));
    EXPECT_EQ(menu.count(), 2);
    EXPECT_EQ(view->selectedRowText(), "icon.gif");
    click(Qt::MiddleButton, 1);
    EXPECT_EQ(menu.count(), 2);
    EXPECT_EQ(clicked.count(), 1);

    // A move by key counts as a click; Delete is the window's.
    view->setCurrentIndex(model->index(0, 0));
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(view->selectedRowText(), "images/");
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(window.keys, QList<int>{Qt::Key_Delete});
    EXPECT_EQ(model->size(), 3);
}

}  // namespace
