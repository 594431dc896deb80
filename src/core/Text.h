#pragma once

#include <QByteArray>
#include <QString>

#include <string>

namespace tarvino {

/// The carriage return and line feed every text line of this system ends in.
inline const QString CRLF = QStringLiteral("\r\n");

/// Paths and texts cross into the platform layer as UTF-8.
inline std::string native(const QString& text)
{
    return text.toStdString();
}

inline QString fromNative(const std::string& text)
{
    return QString::fromStdString(text);
}

/// The platform's path separator as text ("\" on Windows, "/" elsewhere).
QString separator();

/// The folder text with exactly one separator at its end.
QString withSeparator(const QString& folder);

/// Text files of the suite (journal, manifests) are 8-bit text in the system's code page.
QByteArray toAnsi(const QString& text);
QString fromAnsi(const QByteArray& bytes);

} // namespace tarvino
