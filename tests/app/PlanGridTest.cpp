#include "app/PlanGrid.h"

#include <QHeaderView>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace tarvino;

namespace {

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

} // namespace

TEST(PlanGrid, TotalRowUnderTheHeaderThenTheDataRowsMarkedByName)
{
    QTableWidget grid;
    plangrid::prepare(&grid);
    const PlanGridRow bills{QStringLiteral("Računi.exe"), "23", "1", "4", "1234567", "2500000"};
    const PlanGridRow help{QStringLiteral("Pomoć.chm"), "23", "0", "0", "3000000000", "abc"};
    plangrid::fill(&grid, {bills, help, bills});

    // Sizes grouped; one that is no number is shown as it stands and counts as 0.
    const QString header =
        QStringLiteral("|Ime programa/komponente|Ver_Gl|Ver_Pom|Ver_Rev|VeličinaDownload|StvarnaVeličina");
    EXPECT_EQ(shown(grid), QStringList({header, QStringLiteral("|UKUPNO: ||||3,002,469,134|5,000,000"),
                                        QStringLiteral("1|Računi.exe|23|1|4|1,234,567|2,500,000"),
                                        QStringLiteral("2|Pomoć.chm|23|0|0|3,000,000,000|abc"),
                                        QStringLiteral("3|Računi.exe|23|1|4|1,234,567|2,500,000")}));

    // A stage marks the first row of that name only: its picture and how far its bar is filled.
    const auto marked = [&](int row) {
        return std::pair(grid.item(row, 1)->data(plangrid::PictureRole).toInt(),
                         grid.item(row, 1)->data(plangrid::FillRole).toInt());
    };
    const std::pair<int, int> stages[]{{1, 25}, {4, 25}, {2, 50}, {5, 75}, {3, 100}};
    for (const auto& [stage, fill] : stages) {
        EXPECT_TRUE(plangrid::mark(&grid, QStringLiteral("Računi.exe"), stage));
        EXPECT_EQ(marked(1), std::pair(stage, fill));
    }
    EXPECT_EQ(marked(3).first, plangrid::WaitingPicture);
    // Names match exactly; the total row is no plan row.
    EXPECT_FALSE(plangrid::mark(&grid, QStringLiteral("računi.exe"), 3));
    EXPECT_FALSE(plangrid::mark(&grid, QStringLiteral("UKUPNO: "), 3));
    EXPECT_EQ(marked(2), std::pair(plangrid::WaitingPicture, 0));

    // A new plan replaces the old one; an empty plan leaves only the total row.
    plangrid::fill(&grid, {});
    EXPECT_EQ(shown(grid), QStringList({header, QStringLiteral("|UKUPNO: ||||0|0")}));
}
