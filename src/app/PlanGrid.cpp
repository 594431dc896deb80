#include "app/PlanGrid.h"

#include "plan/ManifestRow.h"

#include <QFont>
#include <QHeaderView>
#include <QLocale>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <array>

namespace tarvino::plangrid {
namespace {

constexpr int kColumns = 7;
constexpr int kFirstFilled = 2;
constexpr int kLastFilled = 6;
constexpr int kNameColumnTwips = 3000;

const QColor kTotalBackground(192, 192, 255);
const QColor kFillColour(176, 226, 176);

const std::array<const char*, 6> kPictureFiles {
    ":/pictures/downloading.xpm", // 1 fetching
    ":/pictures/verified.xpm",    // 2 fetched and checked
    ":/pictures/installed.xpm",   // 3 installed
    ":/pictures/copying.xpm",     // 4 copying from a folder
    ":/pictures/installing.xpm",  // 5 installing
    ":/pictures/waiting.xpm",     // 6 planned, not started
};

QStringList headerTexts()
{
    return {QString(),
            QStringLiteral("Ime programa/komponente"),
            QStringLiteral("Ver_Gl"),
            QStringLiteral("Ver_Pom"),
            QStringLiteral("Ver_Rev"),
            QStringLiteral("VeličinaDownload"),
            QStringLiteral("StvarnaVeličina")};
}

/// "#,##0": whole bytes with the locale's group separator, also in the C locale.
QString groupedBytes(std::int64_t value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(static_cast<qlonglong>(value));
}

/// A size cell: a number is shown grouped; a text that is not a number stays as it is.
QString sizeText(const QString& text)
{
    bool isNumber = false;
    text.trimmed().toDouble(&isNumber);
    return isNumber ? groupedBytes(columnBytes(text)) : text;
}

Qt::Alignment alignmentOf(int column)
{
    switch (column) {
    case 1:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case 2:
    case 3:
    case 4:
        return Qt::AlignCenter;
    case 5:
    case 6:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

QTableWidgetItem* cell(const QString& text, int column)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignmentOf(column));
    return item;
}

/// Paints a row's fill as one bar across columns 2 to 6 under the cell's text.
class FillDelegate final : public QStyledItemDelegate {
public:
    explicit FillDelegate(QTableWidget* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int column = index.column();
        if (column >= kFirstFilled && column <= kLastFilled) {
            const int percent = index.sibling(index.row(), 1).data(FillRole).toInt();
            if (percent > 0) {
                const int left = m_grid->columnViewportPosition(kFirstFilled);
                const int right = m_grid->columnViewportPosition(kLastFilled) + m_grid->columnWidth(kLastFilled);
                const int end = left + (right - left) * percent / 100;
                QRect bar = option.rect;
                bar.setRight(std::min(bar.right(), end - 1));
                if (bar.width() > 0)
                    painter->fillRect(bar, kFillColour);
            }
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    QTableWidget* m_grid;
};

int twipsToPixels(const QWidget* widget, int twips)
{
    return twips * widget->logicalDpiX() / 1440;
}

// All columns fit their contents, the header's texts too; the names get a fixed width.
void fitColumns(QTableWidget* grid)
{
    grid->resizeColumnsToContents();
    grid->setColumnWidth(1, twipsToPixels(grid, kNameColumnTwips));
}

} // namespace

QIcon picture(int number)
{
    if (number < 1 || number > static_cast<int>(kPictureFiles.size()))
        return {};
    return QIcon(QString::fromLatin1(kPictureFiles[static_cast<std::size_t>(number - 1)]));
}

int fillOf(int stage)
{
    switch (stage) {
    case 1:
    case 4:
        return 25;
    case 2:
        return 50;
    case 5:
        return 75;
    case 3:
        return 100;
    default:
        return 0;
    }
}

void prepare(QTableWidget* grid)
{
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->verticalHeader()->hide();
    grid->setItemDelegate(new FillDelegate(grid));
    grid->setColumnCount(kColumns);
    grid->setHorizontalHeaderLabels(headerTexts());
    // Readable before the first plan too.
    fitColumns(grid);
}

void fill(QTableWidget* grid, const std::vector<PlanGridRow>& rows)
{
    grid->clear();
    grid->setColumnCount(kColumns);
    grid->setRowCount(static_cast<int>(rows.size()) + 1);
    grid->setHorizontalHeaderLabels(headerTexts());

    std::int64_t packedTotal = 0;
    std::int64_t realTotal = 0;
    const QColor fixedBackground = grid->palette().color(QPalette::Button);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const PlanGridRow& row = rows[static_cast<std::size_t>(i)];
        const int r = i + 1;
        auto* number = cell(QString::number(i + 1), 0);
        number->setBackground(fixedBackground);
        grid->setItem(r, 0, number);
        auto* name = cell(row.name, 1);
        name->setIcon(picture(WaitingPicture));
        name->setData(PictureRole, WaitingPicture);
        name->setData(FillRole, 0);
        grid->setItem(r, 1, name);
        grid->setItem(r, 2, cell(row.verGl, 2));
        grid->setItem(r, 3, cell(row.verPom, 3));
        grid->setItem(r, 4, cell(row.verRev, 4));
        grid->setItem(r, 5, cell(sizeText(row.packedSize), 5));
        grid->setItem(r, 6, cell(sizeText(row.realSize), 6));
        packedTotal += columnBytes(row.packedSize);
        realTotal += columnBytes(row.realSize);
    }

    QFont bold = grid->font();
    bold.setBold(true);
    for (int c = 0; c < kColumns; ++c) {
        QString text;
        if (c == 1)
            text = QStringLiteral("UKUPNO: ");
        else if (c == 5)
            text = groupedBytes(packedTotal);
        else if (c == 6)
            text = groupedBytes(realTotal);
        auto* item = cell(text, c);
        item->setFont(bold);
        item->setForeground(Qt::black);
        item->setBackground(kTotalBackground);
        grid->setItem(TotalRow, c, item);
    }

    fitColumns(grid);
}

bool mark(QTableWidget* grid, const QString& name, int stage)
{
    for (int r = TotalRow + 1; r < grid->rowCount(); ++r) {
        QTableWidgetItem* item = grid->item(r, 1);
        if (item == nullptr || item->text() != name)
            continue;
        item->setIcon(picture(stage));
        item->setData(PictureRole, stage);
        item->setData(FillRole, fillOf(stage));
        grid->scrollToItem(item);
        grid->viewport()->update();
        return true;
    }
    return false;
}

} // namespace tarvino::plangrid
