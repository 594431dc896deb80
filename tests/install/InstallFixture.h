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

/// Forwards to the recording window and notes how many journal lines had been
/// written when each box came up, so a test can tell the line came first.
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

    /// Journal length at each box or question, in order.
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
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
}

/// A stand-in registration tool on PATH: a shell script that writes each call's
/// arguments, one bracketed argument after another, as a line of a record file.
class StandInRegSvr32 {
public:
    explicit StandInRegSvr32(const QString& folder)
        : m_folder(folder + QLatin1Char('/')), m_path("PATH", folder.toUtf8() + ':' + qgetenv("PATH"))
    {
        // With a ".limit" file the tool goes missing once it has been started that many
        // times; with a ".hold" file it does not end until the file is gone.
        put(m_folder, kTool,
            QStringLiteral("#!/bin/sh\n"
                           "for a in \"$@\"; do printf '[%s]' \"$a\" >> '%1'; done\n"
                           "echo >> '%1'\n"
                           "while [ -f \"$0.hold\" ]; do sleep 0.01; done\n"
                           "if [ -f \"$0.limit\" ] && [ $(wc -l < '%1') -ge $(cat \"$0.limit\") ]; then\n"
                           "  chmod -x \"$0\"\n"
                           "fi\n")
                .arg(m_folder + kRecord)
                .toUtf8());
        setExecutable(true);
    }

    void setExecutable(bool yes)
    {
        ::chmod(QFile::encodeName(m_folder + kTool).constData(), yes ? 0755 : 0644);
    }
    /// The tool can be started `times` more times in all, then it is missing.
    void missingAfter(int times)
    {
        put(m_folder, kTool + QStringLiteral(".limit"), QByteArray::number(times));
    }
    /// Keeps every call of the tool running until released.
    void hold() { put(m_folder, kTool + QStringLiteral(".hold"), {}); }
    void release() { QFile::remove(m_folder + kTool + QStringLiteral(".hold")); }
    /// The arguments of every call so far, one line per call.
    QStringList calls() const
    {
        return QString::fromUtf8(get(m_folder, kRecord).value_or(QByteArray()))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    /// The calls that unregister and then register the component at `path`.
    static QStringList unregisteredThenRegistered(const QString& path)
    {
        return {QStringLiteral("[%1][/u][/s]").arg(path), QStringLiteral("[%1][/s]").arg(path)};
    }

private:
    inline static const QString kTool = QStringLiteral("RegSvr32.exe");
    inline static const QString kRecord = QStringLiteral("calls.txt");
    QString m_folder;
    ScopedEnv m_path;
};

/// An installation with its working folders, a stand-in registration tool and no
/// display, so that no window of the machine counts as an open suite program.
class InstallFixture : public ::testing::Test {
public:
    InstallFixture()
        : tool(inst.root() + QStringLiteral("/bin")),
          window(inst.window, inst), ctx{inst.state, window, inst.platform, *inst.settings}
    {
        QDir().mkpath(inst.root() + QStringLiteral("/Windows/Help"));
        inst.platform.fakeSystem.env["WinDir"] =
            native(QDir::toNativeSeparators(inst.root() + QStringLiteral("/Windows")));
        IzvediDirektorije(inst.ctx);
        QDir().mkpath(inst.state.scriptsFolder);
    }

    AppState& state() { return inst.state; }

    /// Adds a planned row to the plan matrix.
    void plan(const QString& name)
    {
        state().plan.at(m_rows, 0) = Cell(name);
        state().plan.at(m_rows, 6) = Cell(std::int64_t(1));
        ++m_rows;
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
