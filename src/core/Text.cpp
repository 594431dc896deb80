#include "core/Text.h"

#include "platform/Platform.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace tarvino {

QString separator()
{
    return QString(QChar::fromLatin1(platform::pathSeparator()));
}

QString withSeparator(const QString& folder)
{
    const QString sep = separator();
    return folder.endsWith(sep) ? folder : folder + sep;
}

QByteArray toAnsi(const QString& text)
{
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

QString fromAnsi(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::System);
    return decoder.decode(bytes);
}

} // namespace tarvino
