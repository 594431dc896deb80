#include "core/TableFile.h"

#include <QStringList>

#include "core/Journal.h"
#include "core/Text.h"

namespace tarvino {
namespace {

// What the platform says when a record has no row left in the matrix.
const QString kOutOfRange = QStringLiteral("Subscript out of range");
constexpr qsizetype kLongestFileName = 255;
// Sizes are bytes; anything above this is no file of a release but a broken or forged manifest.
constexpr qsizetype kMostSizeDigits = 12;

const QString kNotAPlainName =
    QStringLiteral("Ime ne smije sadržavati direktoriju, disk ni znakove /, \\, :, ..");

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

// Windows opens a device for these, whatever the extension: "NUL.txt", "com¹.exe".
bool isDeviceName(const QString& name)
{
    QString stem = name.section(QLatin1Char('.'), 0, 0);
    while (stem.endsWith(QLatin1Char(' ')))
        stem.chop(1);
    stem = stem.toUpper();
    static const QStringList devices = {
        QStringLiteral("CON"),    QStringLiteral("PRN"),     QStringLiteral("AUX"),   QStringLiteral("NUL"),
        QStringLiteral("CONIN$"), QStringLiteral("CONOUT$"), QStringLiteral("CLOCK$")};
    if (devices.contains(stem))
        return true;
    if (stem.size() != 4 ||
        !(stem.startsWith(QStringLiteral("COM")) || stem.startsWith(QStringLiteral("LPT"))))
        return false;
    const QChar n = stem[3];
    return (n >= QLatin1Char('0') && n <= QLatin1Char('9')) || n == QChar(u'¹') || n == QChar(u'²') ||
           n == QChar(u'³');
}

// A size is a whole number of bytes, blanks around it allowed; empty counts as 0.
bool isSaneSize(const QString& field)
{
    const QString digits = field.trimmed();
    if (digits.size() > kMostSizeDigits)
        return false;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
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

QString whyNotPlainFileName(const QString& name)
{
    if (name.toUtf8().size() > kLongestFileName)
        return QStringLiteral("Ime je duže od 255 bajtova.");
    if (name.contains(QStringLiteral("..")))
        return kNotAPlainName;
    for (QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return kNotAPlainName;
        if (c.category() == QChar::Other_Control || QStringView(u"<>\"|?*").contains(c))
            return QStringLiteral("Ime ne smije sadržavati znakove < > \" | ? * ni kontrolne znakove.");
        // What was not valid text in the file's code page, and what cannot be seen: two
        // names that look the same must be the same file.
        if (c == QChar::ReplacementCharacter)
            return QStringLiteral("Ime sadrži neispravno kodirane znakove.");
        if (c.category() == QChar::Other_Format || c.category() == QChar::Other_Surrogate ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph ||
            (c.category() == QChar::Separator_Space && c != QLatin1Char(' ')))
            return QStringLiteral("Ime ne smije sadržavati nevidljive znakove (U+%1).")
                .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    }
    // Windows drops these, so the name would mean another file there.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return QStringLiteral("Ime ne smije završavati točkom ni razmakom.");
    if (isDeviceName(name))
        return QStringLiteral(
            "Ime je rezervirano ime uređaja u Windowsima (CON, PRN, AUX, NUL, COM1, LPT1 i sl.).");
    return {};
}

bool UčitajUMatricu(Context& ctx, Matrix& matrix, const QString& path, QString* reason)
{
    OčistiMatricu(matrix);
    AppState& s = ctx.state;
    // Every reason goes to the journal too: the callers put their own text over it.
    const auto fail = [&](const QString& message) {
        s.currentMessage = message;
        LogirajGrešku(ctx, message);
        if (reason)
            *reason = message;
        return false;
    };

    // Read whole into memory, so a file is read only when it can be a manifest.
    const std::optional<std::uint64_t> size = ctx.files().fileSize(native(path));
    if (size && *size > kLargestTableFile) {
        return fail(QStringLiteral("Datoteka ") + path + QStringLiteral(" ima ") + QString::number(*size) +
                    QStringLiteral(" bajtova, a kontrolna datoteka ne može imati više od ") +
                    QString::number(kLargestTableFile) + QStringLiteral(" bajtova."));
    }
    std::string bytes;
    const platform::Outcome opened = ctx.files().readFile(native(path), bytes);
    if (!opened) {
        ctx.window.message(QStringLiteral("Greška u otvaranju datoteke: ") + path + QLatin1Char(' ') +
                               fromNative(opened.description),
                           Icon::Exclamation);
        if (reason)
            reason->clear();
        return false;
    }

    s.rowCounter = 0;
    for (const QString& line : linesOf(fromAnsi(QByteArray::fromStdString(bytes)))) {
        if (isBlank(line))
            continue;
        const QStringList fields = line.split(QLatin1Char(';'));
        if (fields.size() != Matrix::Columns) {
            return fail(QStringLiteral("Greška u splitu - ima : ") + QString::number(fields.size() - 1) +
                        QStringLiteral(" članova! Datoteka: ") + path + QStringLiteral(" Red: ") + line +
                        QLatin1Char(' '));
        }
        if (s.rowCounter >= Matrix::Rows)
            return fail(QStringLiteral("Greška u dodjeljivanju vrijednosti matrici! ") + kOutOfRange);
        if (const QString fault = whyNotPlainFileName(fields[0]); !fault.isEmpty()) {
            return fail(QStringLiteral("Neispravno ime datoteke u datoteci: ") + path +
                        QStringLiteral(" Red: ") + line + QLatin1Char(' ') + fault);
        }
        if (!isSaneSize(fields[4]) || !isSaneSize(fields[5])) {
            return fail(QStringLiteral("Neispravna veličina datoteke u datoteci: ") + path +
                        QStringLiteral(" Red: ") + line +
                        QStringLiteral(" Veličina mora biti cijeli broj bajtova (najviše 12 znamenki)."));
        }
        for (s.columnCounter = 0; s.columnCounter <= 5; ++s.columnCounter)
            matrix.at(s.rowCounter, s.columnCounter) = Cell(fields[s.columnCounter]);
        ++s.rowCounter;
    }
    return true;
}

QString withReason(const QString& message, const QString& reason)
{
    return reason.isEmpty() ? message : message + CRLF + reason;
}

} // namespace tarvino
