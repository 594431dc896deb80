#include "core/SettingsStore.h"

#include <QDir>
#include <QSettings>

namespace tarvino {

QString userIniStorePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Tarvino/Tarvino.ini");
}

std::unique_ptr<SettingsStore> SettingsStore::openUserStore()
{
#if defined(Q_OS_WIN)
    // Existing workstations keep their values here; the new tool reads them on its first start.
    return std::make_unique<SettingsStore>(std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Tarvino"),
        QSettings::NativeFormat));
#else
    return openIniFile(userIniStorePath());
#endif
}

std::unique_ptr<SettingsStore> SettingsStore::openIniFile(const QString& path)
{
    return std::make_unique<SettingsStore>(std::make_unique<QSettings>(path, QSettings::IniFormat));
}

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings) : m_settings(std::move(settings)) {}

SettingsStore::~SettingsStore() = default;

static QString fullKey(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}

QString SettingsStore::read(const QString& section, const QString& key, const QString& fallback) const
{
    const QVariant value = m_settings->value(fullKey(section, key));
    if (!value.isValid())
        return fallback;
    return value.toString();
}

void SettingsStore::write(const QString& section, const QString& key, const QString& value)
{
    m_settings->setValue(fullKey(section, key), value);
    m_settings->sync();
}

bool SettingsStore::contains(const QString& section, const QString& key) const
{
    return m_settings->contains(fullKey(section, key));
}

QString SettingsStore::location() const
{
    return m_settings->fileName();
}

} // namespace tarvino
