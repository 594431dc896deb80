#pragma once

#include "TestInstallation.h"
#include "core/Text.h"
#include "install/Installation.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace tarvino::test {

/// Sets an environment variable, or removes it without a value, for the object's life.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<QByteArray>& value)
        : m_name(name),
          m_previous(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~ScopedEnv() { m_previous ? qputenv(m_name, *m_previous) : qunsetenv(m_name); }

private:
    const char* m_name;
    std::optional<QByteArray> m_previous;
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

/// A release of a program, a component, a script, a help file and a new program, the old files at home and
/// the new ones in the Update folder; beside them rows of no kind it installs. No display, so that no window
/// of the machine counts as an open suite program. A stand-in registration tool on PATH records each call's
/// arguments, bracketed, as a line; it goes missing after its first call while `tool` + ".once" exists and
/// runs while `tool` + ".hold" exists.
class InstallFixture : public ::testing::Test {
public:
    InstallFixture()
    {
        AppState& s = inst.state;
        QDir().mkpath(inst.root() + QStringLiteral("/Windows/Help"));
        inst.platform.fakeSystem.env["WinDir"] = native(inst.root() + QStringLiteral("/Windows"));
        IzvediDirektorije(ctx);
        homes = {{QStringLiteral("Knjigovodstvo.exe"), s.installFolder},
                 {QStringLiteral("Tarvino Grid.ocx"), s.installFolder},
                 {QStringLiteral("Izmjena01.enc"), s.scriptsFolder},
                 {QStringLiteral("Tarvino.chm"), s.helpFolder},
                 {QStringLiteral("Novi.exe"), s.installFolder}};
        int rows = 0;
        const auto plan = [&](const QString& name) {
            s.plan.at(rows, 0) = Cell(name);
            s.plan.at(rows++, 6) = Cell(std::int64_t(1));
        };
        for (const auto& [name, home] : homes) {
            if (name != QStringLiteral("Novi.exe"))
                put(home, name, "old " + name.toUtf8());
            put(s.updateFolder, name, "new " + name.toUtf8());
            plan(name);
        }
        // Kinds are told apart case-sensitively: "EXE" is no program; an empty name is no file.
        put(s.updateFolder, QStringLiteral("VELIKA.EXE"), "capitals");
        plan(QStringLiteral("VELIKA.EXE"));
        plan(QString());
        put(s.installFolder, kManifestFile, "installed manifest");
        put(s.updateFolder, kManifestFile, "new manifest");
        put(inst.root() + QStringLiteral("/bin/"), QStringLiteral("RegSvr32.exe"),
            "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\" >> \"$0.calls\"; done\n"
            "echo >> \"$0.calls\"\nwhile [ -f \"$0.hold\" ]; do sleep 0.01; done\n"
            "if [ -f \"$0.once\" ]; then rm \"$0\"; fi\n");
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner);
        hooks.pripremiVerzijaTXT = [](Context&) { return true; };
    }

    AppState& state() { return inst.state; }
    /// Whether every item at home is its file of that age (a new item absent when old), whole.
    bool all(const QByteArray& age)
    {
        return std::all_of(homes.begin(), homes.end(), [&](const auto& item) {
            const auto now = get(item.second, item.first);
            return age == "old" && item.first == QStringLiteral("Novi.exe")
                       ? !now
                       : now == age + ' ' + item.first.toUtf8();
        });
    }
    bool manifestIsNew() { return get(state().installFolder, kManifestFile) == QByteArray("new manifest"); }
    QStringList toolCalls() const
    {
        return QString::fromUtf8(get(tool, QStringLiteral(".calls")).value_or(QByteArray()))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    ScopedEnv noDisplay{"DISPLAY", std::nullopt};
    TestInstallation inst;
    Context& ctx = inst.ctx;
    std::vector<std::pair<QString, QString>> homes;
    InstallationHooks hooks;
    const QString tool = inst.root() + QStringLiteral("/bin/RegSvr32.exe");

private:
    ScopedEnv m_path{"PATH", inst.root().toUtf8() + "/bin:" + qgetenv("PATH")};
};

} // namespace tarvino::test
