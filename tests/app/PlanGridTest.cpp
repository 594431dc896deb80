#include "app/PlanGrid.h"

#include <QHeaderView>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;

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
    const PlanGridRow bills{u"Računi.exe"_s, "23", "1", "4", "1234567", "2500000"};
    const PlanGridRow help{u"Pomoć.chm"_s, "23", "0", "0", "3000000000", "abc"};
    plangrid::fill(&grid, {bills, help, bills});

    // Sizes grouped; one that is no number is shown as it stands and counts as 0.
    const QString header =
        u"|Ime programa/komponente|Ver_Gl|Ver_Pom|Ver_Rev|VeličinaDownload|StvarnaVeličina"_s;
    EXPECT_EQ(shown(grid), QStringList({header, u"|UKUPNO: ||||3,002,469,134|5,000,000"_s,
                                        u"1|Računi.exe|23|1|4|1,234,567|2,500,000"_s,
                                        u"2|Pomoć.chm|23|0|0|3,000,000,000|abc"_s,
                                        u"3|Računi.exe|23|1|4|1,234,567|2,500,000"_s}));

    // A stage marks the first row of that name only: its picture and how far its bar is filled.
    const auto marked = [&](int row) {
        return std::pair(grid.item(row, 1)->data(plangrid::PictureRole).toInt(),
                         grid.item(row, 1)->data(plangrid::FillRole).toInt());
    };
    const std::pair<int, int> stages[]{{1, 25}, {4, 25}, {2, 50}, {5, 75}, {3, 100}};
    for (const auto& [stage, fill] : stages) {
        EXPECT_TRUE(plangrid::mark(&grid, u"Računi.exe"_s, stage));
        EXPECT_EQ(marked(1), std::pair(stage, fill));
    }
    EXPECT_EQ(marked(3).first, plangrid::WaitingPicture);
    // Names match exactly; the total row is no plan row.
    EXPECT_FALSE(plangrid::mark(&grid, u"računi.exe"_s, 3));
    EXPECT_FALSE(plangrid::mark(&grid, u"UKUPNO: "_s, 3));
    EXPECT_EQ(marked(2), std::pair(plangrid::WaitingPicture, 0));

    // A new plan replaces the old one; an empty plan leaves only the total row.
    plangrid::fill(&grid, {});
    EXPECT_EQ(shown(grid), QStringList({header, u"|UKUPNO: ||||0|0"_s}));
}
