#include "app/PlanGrid.h"

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

/// The header and every row as the grid shows them, cells separated by '|'.
QStringList shown(const QTableWidget& grid)
{
    QStringList rows;
    for (int r = -1; r < grid.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid.columnCount(); ++c)
            cells << (r < 0 ? grid.horizontalHeaderItem(c) : grid.item(r, c))->text();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

struct Grid {
    QTableWidget widget;
    Grid() { plangrid::prepare(&widget); }
    int picture(int row) const { return widget.item(row, 1)->data(plangrid::PictureRole).toInt(); }
    int fill(int row) const { return widget.item(row, 1)->data(plangrid::FillRole).toInt(); }
};

} // namespace

TEST(PlanGrid, TotalRowUnderTheHeaderThenTheDataRows)
{
    Grid g;
    plangrid::fill(&g.widget, twoRows());

    // Sizes grouped; one that is no number is shown as it stands and counts as 0.
    EXPECT_EQ(shown(g.widget),
              QStringList({QStringLiteral("|Ime programa/komponente|Ver_Gl|Ver_Pom|Ver_Rev|VeličinaDownload|StvarnaVeličina"),
                           QStringLiteral("|UKUPNO: ||||3,001,234,567|2,500,000"),
                           QStringLiteral("1|Računi.exe|23|1|4|1,234,567|2,500,000"),
                           QStringLiteral("2|Pomoć.chm|23|0|0|3,000,000,000|abc")}));
    for (int r = 1; r <= 2; ++r) {
        EXPECT_EQ(g.picture(r), plangrid::WaitingPicture);
        EXPECT_FALSE(g.widget.item(r, 1)->icon().isNull());
    }

    // A new plan replaces the old one; an empty plan leaves only the total row.
    plangrid::fill(&g.widget, {});
    EXPECT_EQ(shown(g.widget).mid(1), QStringList({QStringLiteral("|UKUPNO: ||||0|0")}));
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
        EXPECT_EQ(std::pair(g.picture(1), g.fill(1)), std::pair(stage, fill));
        EXPECT_FALSE(g.widget.item(1, 1)->icon().isNull()) << stage;
        EXPECT_EQ(g.picture(3), plangrid::WaitingPicture);
    }

    // Names match exactly; the total row is no plan row.
    EXPECT_FALSE(plangrid::mark(&g.widget, QStringLiteral("računi.exe"), 3));
    EXPECT_FALSE(plangrid::mark(&g.widget, QStringLiteral("UKUPNO: "), 3));
    EXPECT_EQ(g.fill(2), 0);
}
