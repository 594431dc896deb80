#pragma once

// What the end-to-end runs share, natively and under Wine: the sample suite, a workstation holding a
// copy of its installation, and the runs of a table with the checks that decide them.
#include <QMap>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <ostream>

/// Failure messages show texts as they are.
inline std::ostream& operator<<(std::ostream& out, const QString& text)
{
    return out << text.toStdString();
}

namespace tarvino::test {

using Files = QMap<QString, QByteArray>;
using Settings = QList<std::pair<QString, QString>>;
/// How the workstation's 8-bit texts (journal, manifests, output) read.
using Decode = QString (*)(const QByteArray&);

QByteArray readAll(const QString& path);
bool writeAll(const QString& path, const QByteArray& bytes);
/// Every file below `folder` by its relative path, the tool's own work folder and lock file left out.
Files snapshot(const QString& folder);
/// The sample suite, written once per set of arguments of the sample release tool.
QString sampleRoot(const QStringList& arguments = {});
/// Both update servers at one address, with the engine given.
Settings servers(quint16 port, bool chilkat);
/// Runs a program to its end (bounded); its exit status (-1: crashed) and its two outputs merged.
std::pair<int, QString> runToEnd(const QString& program, const QStringList& arguments,
                                 const QProcessEnvironment& env, Decode decode);

struct ToolRun {
    const char* name;
    Settings settings;
    QStringList arguments = {QStringLiteral("--azuriranje"), QStringLiteral("--da")};
    int status = 0;
    /// A sample's after/ folder of the release installed; empty: the installation stays as it was.
    QString installs;
    /// Lines that lie within the journal's lines, in this order.
    QStringList journal;
    QString output;
};

/// A copy of a sample's installation for the program to work on.
class Workstation {
public:
    Workstation(const QString& sample, Decode decode);
    virtual ~Workstation() = default;
    /// The settings store: these values under Settings, the automatic download off.
    virtual void settings(const Settings& values) = 0;
    virtual std::pair<int, QString> run(const QStringList& arguments) = 0;
    /// Runs `row` and checks its outcome.
    void expect(const ToolRun& row);
    QStringList journal() const;
    /// A path beside the installation folder.
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;

public:
    const QString folder = m_dir.path() + QStringLiteral("/install/");
    const Decode decode;
    /// What the installation held before the program ran.
    Files before;
};

} // namespace tarvino::test
