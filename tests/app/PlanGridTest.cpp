#include "app/PlanGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>

#include <gtest/gtest.h>

using namespace tarvino;

namespace {

std::vector<PlanGridRow> twoRows()
{
    return {
        {QStringLiteral("Računi.exe"), "23", "1", "4", "1234567", "2500000"},
        {QStringLiteral("Pomoć.chm"), "23", "0", "0", "3000000000", "abc"},
    };
}

struct Grid {
    QTableWidget widget;
    Grid() { plangrid::prepare(&widget); }
    QString text(int row, int column) const { return widget.item(row, column)->text(); }
};

} // namespace

TEST(PlanGrid, HeaderTotalRowAndDataRows)
{
    Grid g;
    plangrid::fill(&g.widget, twoRows());

    QStringList headers;
    for (int c = 0; c < g.widget.columnCount(); ++c)
        headers << g.widget.horizontalHeaderItem(c)->text();
    EXPECT_EQ(headers, (QStringList {"", "Ime programa/komponente", "Ver_Gl", "Ver_Pom", "Ver_Rev",
                                     QStringLiteral("VeličinaDownload"), QStringLiteral("StvarnaVeličina")}));
    ASSERT_EQ(g.widget.rowCount(), 3);

    // The total row lies under the header, bold black on 192/192/255, with the sums of the sizes.
    EXPECT_EQ(g.text(0, 1), QStringLiteral("UKUPNO: "));
    EXPECT_EQ(g.text(0, 5), QStringLiteral("3,001,234,567"));
    EXPECT_EQ(g.text(0, 6), QStringLiteral("2,500,000"));
    for (int c = 0; c < 7; ++c) {
        const QTableWidgetItem* item = g.widget.item(0, c);
        EXPECT_TRUE(item->font().bold());
        EXPECT_EQ(item->background().color(), QColor(192, 192, 255));
        EXPECT_EQ(item->foreground().color(), QColor(Qt::black));
    }

    EXPECT_EQ(g.text(1, 0), QStringLiteral("1"));
    EXPECT_EQ(g.text(2, 0), QStringLiteral("2"));
    EXPECT_EQ(g.text(1, 1), QStringLiteral("Računi.exe"));
    EXPECT_EQ(g.text(1, 4), QStringLiteral("4"));
    EXPECT_EQ(g.text(1, 5), QStringLiteral("1,234,567"));
    EXPECT_EQ(g.text(2, 6), QStringLiteral("abc")); // not a number: shown as it stands
    for (int r = 1; r <= 2; ++r) {
        EXPECT_EQ(g.widget.item(r, 1)->data(plangrid::PictureRole).toInt(), plangrid::WaitingPicture);
        EXPECT_FALSE(g.widget.item(r, 1)->icon().isNull());
    }

    EXPECT_EQ(g.widget.item(1, 1)->textAlignment(), int(Qt::AlignLeft | Qt::AlignVCenter));
    EXPECT_EQ(g.widget.item(1, 3)->textAlignment(), int(Qt::AlignCenter));
    EXPECT_EQ(g.widget.item(1, 6)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(g.widget.columnWidth(1), 3000 * g.widget.logicalDpiX() / 1440);

    // A new plan replaces the old one; an empty plan leaves only the header and the total row.
    plangrid::fill(&g.widget, {});
    EXPECT_EQ(g.widget.rowCount(), 1);
    EXPECT_EQ(g.text(0, 5), QStringLiteral("0"));
}

TEST(PlanGrid, StagesSetPictureAndFillOfTheFirstRowOfThatName)
{
    Grid g;
    auto rows = twoRows();
    rows.push_back(rows[0]);
    plangrid::fill(&g.widget, rows);

    const std::vector<std::pair<int, int>> stages {{1, 25}, {4, 25}, {2, 50}, {5, 75}, {3, 100}};
    for (const auto& [stage, fill] : stages) {
        EXPECT_TRUE(plangrid::mark(&g.widget, QStringLiteral("Računi.exe"), stage));
        EXPECT_EQ(g.widget.item(1, 1)->data(plangrid::PictureRole).toInt(), stage);
        EXPECT_EQ(g.widget.item(1, 1)->data(plangrid::FillRole).toInt(), fill);
        EXPECT_EQ(g.widget.item(3, 1)->data(plangrid::PictureRole).toInt(), plangrid::WaitingPicture);
    }

    EXPECT_FALSE(plangrid::mark(&g.widget, QStringLiteral("računi.exe"), 3));
    EXPECT_FALSE(plangrid::mark(&g.widget, QStringLiteral("UKUPNO: "), 3));
    EXPECT_EQ(g.widget.item(2, 1)->data(plangrid::FillRole).toInt(), 0);
}

TEST(PlanGrid, EveryPictureIsDrawn)
{
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        const QPixmap pixmap = plangrid::picture(n).pixmap(16, 16);
        EXPECT_FALSE(pixmap.isNull());
    }
    EXPECT_TRUE(plangrid::picture(7).isNull());
}
