#include "core/SettingsStore.h"

#include "core/Text.h"
#include "platform/Platform.h"

#include <QSettings>

namespace tarvino {

std::unique_ptr<SettingsStore> SettingsStore::openUserStore()
{
    const platform::SettingsLocation where = platform::settingsLocation();
    if (where.inRegistry)
        return std::make_unique<SettingsStore>(
            std::make_unique<QSettings>(fromNative(where.path), QSettings::NativeFormat));
    return openIniFile(fromNative(where.path) + QStringLiteral("/Tarvino.ini"));
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
