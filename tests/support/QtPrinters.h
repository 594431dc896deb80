#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Readable failure messages for Qt texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[';
    for (const QString& s : list)
        *out << '"' << s.toStdString() << "\", ";
    *out << ']';
}
QT_END_NAMESPACE
