#pragma once

#include <QString>

#include <ostream>

// Readable failure messages for Qt texts; GoogleTest prints a QStringList through it, item by item.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
