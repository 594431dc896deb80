#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

namespace tarvino::test {

/// Sets an environment variable, or removes it without a value, for the object's life.
struct ScopedEnv {
    ScopedEnv(const char* name, const std::optional<QByteArray>& value) : name(name)
    {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~ScopedEnv() { previous ? qputenv(name, *previous) : qunsetenv(name); }

    const char* name;
    std::optional<QByteArray> previous =
        qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
};

/// The report designer's values go beside a settings store of the test's own.
struct OwnConfigHome {
    QTemporaryDir config;
    ScopedEnv env{"XDG_CONFIG_HOME", config.path().toUtf8()};
};

/// Writes a file in a folder (a full folder path ending in the separator).
inline void put(const QString& folder, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(folder);
    QFile f(folder + name);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

inline std::optional<QByteArray> get(const QString& folder, const QString& name)
{
    QFile f(folder + name);
    return f.open(QIODevice::ReadOnly) ? std::optional(f.readAll()) : std::nullopt;
}

} // namespace tarvino::test
