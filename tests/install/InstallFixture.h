#pragma once

#include "ForwardingWindow.h"
#include "TestInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace tarvino::test {

/// Notes the journal's length as each box comes up, so a test can tell the line came first.
class JournalledWindow final : public ForwardingWindow {
public:
    JournalledWindow(RecordingWindow& inner, const TestInstallation& inst)
        : ForwardingWindow(inner), m_inst(inst)
    {
    }

    void message(const QString& text, Icon icon, const QString& title = {}) override
    {
        journalAtBox << m_inst.journal().size();
        ForwardingWindow::message(text, icon, title);
    }
    Answer question(const QString& text) override
    {
        journalAtBox << m_inst.journal().size();
        const Answer answer = ForwardingWindow::question(text);
        if (onQuestion)
            onQuestion();
        return answer;
    }

    QList<qsizetype> journalAtBox;
    /// Runs while a question is open, after the operator has answered it.
    std::function<void()> onQuestion;

private:
    const TestInstallation& m_inst;
};

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

/// A stand-in registration tool on PATH that records each call's arguments, bracketed, as a line.
/// With a ".limit" file it goes missing after that many calls; with a ".hold" file it runs until the file is gone.
class StandInRegSvr32 {
public:
    explicit StandInRegSvr32(const QString& folder)
        : m_dir(folder + QLatin1Char('/')), m_path("PATH", folder.toUtf8() + ':' + qgetenv("PATH"))
    {
        put(m_dir, kTool,
            QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\" >> '%1'; done\necho >> '%1'\n"
                           "while [ -f \"$0.hold\" ]; do sleep 0.01; done\n"
                           "if [ -f \"$0.limit\" ] && [ $(wc -l < '%1') -ge $(cat \"$0.limit\") ]; then\n"
                           "  chmod -x \"$0\"\nfi\n")
                .arg(m_dir + kRecord)
                .toUtf8());
        setExecutable(true);
    }

    void setExecutable(bool yes) { ::chmod(QFile::encodeName(m_dir + kTool).constData(), yes ? 0755 : 0644); }
    void missingAfter(int calls) { put(m_dir, kTool + QStringLiteral(".limit"), QByteArray::number(calls)); }
    void hold() { put(m_dir, kTool + QStringLiteral(".hold"), {}); }
    void release() { QFile::remove(m_dir + kTool + QStringLiteral(".hold")); }
    QStringList calls() const
    {
        return QString::fromUtf8(get(m_dir, kRecord).value_or(QByteArray()))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    static QStringList unregisteredThenRegistered(const QString& path)
    {
        return {QStringLiteral("[%1][/u][/s]").arg(path), QStringLiteral("[%1][/s]").arg(path)};
    }

private:
    inline static const QString kTool = QStringLiteral("RegSvr32.exe");
    inline static const QString kRecord = QStringLiteral("calls.txt");
    QString m_dir;
    ScopedEnv m_path;
};

/// An installation with its working folders, a stand-in registration tool and no
/// display, so that no window of the machine counts as an open suite program.
class InstallFixture : public ::testing::Test {
public:
    InstallFixture()
        : tool(inst.root() + QStringLiteral("/bin")), window(inst.window, inst),
          ctx{inst.state, window, inst.platform, *inst.settings}
    {
        QDir().mkpath(inst.root() + QStringLiteral("/Windows/Help"));
        inst.platform.fakeSystem.env["WinDir"] =
            native(QDir::toNativeSeparators(inst.root() + QStringLiteral("/Windows")));
        IzvediDirektorije(inst.ctx);
        QDir().mkpath(inst.state.scriptsFolder);
    }

    AppState& state() { return inst.state; }

    void plan(const QString& name)
    {
        state().plan.at(m_rows, 0) = Cell(name);
        state().plan.at(m_rows++, 6) = Cell(std::int64_t(1));
    }

    TestInstallation inst;
    StandInRegSvr32 tool;
    JournalledWindow window;
    Context ctx;

private:
    int m_rows = 0;
    ScopedEnv m_noDisplay{"DISPLAY", std::nullopt};
};

} // namespace tarvino::test
