#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace tarvino {

/// The per-user settings store of application "Tarvino": sections and keys, every
/// value kept as text. On Windows the store the suite's tools have always used in
/// the registry; elsewhere $XDG_CONFIG_HOME/Tarvino/Tarvino.ini.
class SettingsStore {
public:
    /// The user's own store.
    static std::unique_ptr<SettingsStore> openUserStore();
    /// A store in an INI file of the caller's choice (tests, the demo).
    static std::unique_ptr<SettingsStore> openIniFile(const QString& path);

    explicit SettingsStore(std::unique_ptr<QSettings> settings);
    ~SettingsStore();

    /// The stored text, or `fallback` when the key is absent.
    QString read(const QString& section, const QString& key, const QString& fallback = {}) const;
    void write(const QString& section, const QString& key, const QString& value);
    bool contains(const QString& section, const QString& key) const;
    /// Where the store lives (a file path or a registry path).
    QString location() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace tarvino
