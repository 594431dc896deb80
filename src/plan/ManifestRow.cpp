#include "plan/ManifestRow.h"

#include "plan/FolderLayout.h"

#include <cmath>

namespace tarvino {
namespace {

constexpr int kNameColumn = 0;
constexpr int kMajorColumn = 1;
constexpr int kMinorColumn = 2;
constexpr int kRevisionColumn = 3;
constexpr int kPackedSizeColumn = 4;
constexpr int kUnpackedSizeColumn = 5;
constexpr int kMarkColumn = 6;

// The leading number of the text, "." as the decimal point, blanks before it allowed;
// no number reads as 0.
double columnValue(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    double sign = 1;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        if (text[i] == QLatin1Char('-'))
            sign = -1;
        ++i;
    }
    double value = 0;
    bool fraction = false;
    double scale = 1;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            if (fraction) {
                scale /= 10;
                value += (c.unicode() - u'0') * scale;
            } else {
                value = value * 10 + (c.unicode() - u'0');
            }
        } else if (c == QLatin1Char('.') && !fraction) {
            fraction = true;
        } else {
            break;
        }
    }
    return sign * value;
}

ManifestRow manifestRow(const Matrix& matrix, int index)
{
    const auto text = [&](int column) { return matrix.at(index, column).text(); };
    return {.index = index,
            .name = text(kNameColumn),
            .major = text(kMajorColumn),
            .minor = text(kMinorColumn),
            .revision = text(kRevisionColumn),
            .packedSize = text(kPackedSizeColumn),
            .unpackedSize = text(kUnpackedSizeColumn),
            .planned = !text(kNameColumn).isEmpty() && matrix.at(index, kMarkColumn).number() == 1};
}

} // namespace

std::int64_t columnBytes(const QString& text)
{
    return static_cast<std::int64_t>(std::llround(columnValue(text)));
}

bool hasStatedSize(std::uint64_t actual, const QString& column)
{
    const std::int64_t expected = columnBytes(column);
    return expected >= 0 && actual == static_cast<std::uint64_t>(expected);
}

QString ManifestRow::kind() const
{
    return extensionOf(name);
}

std::int64_t ManifestRow::packedBytes() const
{
    return columnBytes(packedSize);
}

std::int64_t ManifestRow::unpackedBytes() const
{
    return columnBytes(unpackedSize);
}

bool ManifestRow::newerThan(const ManifestRow& installed) const
{
    if (columnValue(major) > columnValue(installed.major) || columnValue(minor) > columnValue(installed.minor) ||
        columnValue(revision) > columnValue(installed.revision))
        return true;
    const QString k = kind();
    return (k == QStringLiteral("chm") || k == QStringLiteral("ocx")) &&
           (unpackedBytes() > installed.unpackedBytes() || packedBytes() > installed.packedBytes());
}

ManifestRow findManifestRow(const Matrix& matrix, const QString& name)
{
    for (int i = 0; i < Matrix::Rows; ++i) {
        if (matrix.at(i, kNameColumn).text() == name)
            return manifestRow(matrix, i);
    }
    return {};
}

std::vector<ManifestRow> namedRows(const Matrix& matrix)
{
    std::vector<ManifestRow> rows;
    for (int i = 0; i < Matrix::Rows; ++i) {
        if (!matrix.at(i, kNameColumn).text().isEmpty())
            rows.push_back(manifestRow(matrix, i));
    }
    return rows;
}

std::vector<ManifestRow> plannedRows(const Matrix& plan)
{
    std::vector<ManifestRow> rows = namedRows(plan);
    std::erase_if(rows, [](const ManifestRow& row) { return !row.planned; });
    return rows;
}

bool hasPlannedRow(const Matrix& plan)
{
    return !plannedRows(plan).empty();
}

void markPlanned(Matrix& plan, int index, bool planned)
{
    plan.at(index, kMarkColumn) = Cell(std::int64_t{planned ? 1 : 0});
}

} // namespace tarvino
