#pragma once

#include "RecordingWindow.h"
#include "TestPlatform.h"
#include "core/AppState.h"
#include "core/Context.h"
#include "core/SettingsStore.h"
#include "core/Text.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace tarvino::test {

/// A temporary installation folder with the test platform, a recording window, a settings store of its own
/// and a context around them; with `updateFolder` its Update folder exists (the journal needs it).
class TestInstallation {
    // First, so that everything below can be placed in it.
    QTemporaryDir m_dir;

public:
    explicit TestInstallation(bool updateFolder = true);

    /// Root of the temporary area (the installation folder lies below it).
    QString root() const { return m_dir.path(); }
    /// The installation folder, ending in the separator, and a path below it.
    QString folder() const { return withSeparator(state.programFolder); }
    QString path(const QString& relative) const { return folder() + relative; }

    void write(const QString& relative, const QByteArray& bytes) const;
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const { return QFileInfo::exists(path(relative)); }
    /// The journal's lines without date and time, in order.
    QStringList journal() const;

    TestPlatform platform;
    RecordingWindow window;
    AppState state;
    std::unique_ptr<SettingsStore> settings;
    Context ctx;
};

} // namespace tarvino::test
