#include "core/TableFile.h"

#include <QStringList>

#include "core/Journal.h"
#include "core/Text.h"

namespace tarvino {
namespace {

// What the platform says when a record has no row left in the matrix.
const QString kOutOfRange = QStringLiteral("Subscript out of range");
constexpr qsizetype kLongestFileName = 255;

QStringList linesOf(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    // A final line end closes the last line; it does not start another.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

bool isBlank(const QString& line)
{
    for (QChar c : line) {
        if (c != QLatin1Char(' '))
            return false;
    }
    return true;
}

} // namespace

void OčistiMatricu(Matrix& matrix)
{
    for (auto& row : matrix.cells) {
        for (int c = 0; c <= 3; ++c)
            row[c] = Cell(QString());
        for (int c = 4; c <= 6; ++c)
            row[c] = Cell(std::int64_t {0});
    }
}

bool isPlainFileName(const QString& name)
{
    if (name.size() > kLongestFileName || name == QStringLiteral(".") || name.contains(QStringLiteral("..")))
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

bool UčitajUMatricu(Context& ctx, Matrix& matrix, const QString& path)
{
    OčistiMatricu(matrix);
    std::string bytes;
    const platform::Outcome opened = ctx.files().readFile(native(path), bytes);
    if (!opened) {
        ctx.window.message(QStringLiteral("Greška u otvaranju datoteke: ") + path + QLatin1Char(' ') +
                               fromNative(opened.description),
                           Icon::Exclamation);
        return false;
    }

    AppState& s = ctx.state;
    s.rowCounter = 0;
    for (const QString& line : linesOf(fromAnsi(QByteArray::fromStdString(bytes)))) {
        if (isBlank(line))
            continue;
        const QStringList fields = line.split(QLatin1Char(';'));
        if (fields.size() != Matrix::Columns) {
            s.currentMessage = QStringLiteral("Greška u splitu - ima : ") + QString::number(fields.size() - 1) +
                               QStringLiteral(" članova! Datoteka: ") + path + QStringLiteral(" Red: ") + line +
                               QLatin1Char(' ');
            return false;
        }
        if (s.rowCounter >= Matrix::Rows) {
            s.currentMessage = QStringLiteral("Greška u dodjeljivanju vrijednosti matrici! ") + kOutOfRange;
            LogirajGrešku(ctx, s.currentMessage);
            return false;
        }
        if (!fields[0].isEmpty() && !isPlainFileName(fields[0])) {
            s.currentMessage = QStringLiteral("Neispravno ime datoteke u datoteci: ") + path + QStringLiteral(" Red: ") +
                               line + QStringLiteral(" Ime ne smije sadržavati direktoriju, disk ni znakove /, \\, :, ..");
            LogirajGrešku(ctx, s.currentMessage);
            return false;
        }
        for (s.columnCounter = 0; s.columnCounter <= 5; ++s.columnCounter)
            matrix.at(s.rowCounter, s.columnCounter) = Cell(fields[s.columnCounter]);
        ++s.rowCounter;
    }
    return true;
}

} // namespace tarvino
