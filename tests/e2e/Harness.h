#pragma once

// What the end-to-end runs share, natively and under Wine: the sample suite, nginx
// serving it on 127.0.0.1, and whole-folder comparisons.
#include <QMap>
#include <QProcessEnvironment>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace tarvino::test {

using Files = QMap<QString, QByteArray>;

QByteArray readAll(const QString& path);
bool writeAll(const QString& path, const QByteArray& bytes);
/// Every file below `folder` by its relative path, the tool's own work folder and lock file left out.
Files snapshot(const QString& folder);
void expectSame(const Files& now, const Files& want);
/// Copies what `snapshot` sees: a work folder named Update stays behind.
bool copyTree(const QString& from, const QString& to);
/// Runs a program to its end; `ok` when it ended with status 0.
QString runOutput(const QString& program, const QStringList& arguments, bool* ok);

/// The sample suite, written once per program and code page of its manifests (empty:
/// this system's): install/ and www/.
QString sampleRoot(const QString& codePage = {});

/// What the release in `release` installs: each row unpacked (scripts and help files
/// into folders of their own), its manifest and support program; `decode` reads its manifest.
Files expectedAfter(const QString& release, QString (*decode)(const QByteArray&));

/// Each of `lines` lies within one of `journal`'s lines, in this order.
void expectInOrder(const QStringList& journal, const QStringList& lines);

struct RunResult {
    int status = -1;
    QString out;
    QString err;
};

/// How the workstation's 8-bit texts (journal, manifests, output) read.
using Decode = QString (*)(const QByteArray&);

/// Runs a program to its end, at most `limitMs`; `meanwhile` acts while it runs.
RunResult runToEnd(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
                   Decode decode, const std::function<void()>& meanwhile = {}, int limitMs = 90000);

/// A copy of a sample installation (a sample's install/ folder) for the program to work on.
class Workstation {
public:
    Workstation(const QString& install, Decode decode);

    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QStringList journal() const;
    /// Each of `lines` lies within a journal line, in this order.
    void expectJournal(const QStringList& lines) const { expectInOrder(journal(), lines); }
    /// The installation holds `want` byte for byte and nothing else.
    void expectFiles(const Files& want) const { expectSame(snapshot(folder), want); }
    /// The release's files over the old installation: nothing of the old lost, no leftovers of the run.
    void expectInstalled(const QString& release) const;

private:
    QTemporaryDir m_dir;

public:
    const QString folder = m_dir.path() + QStringLiteral("/install/");
    const Decode decode;
    /// What the installation held before the program ran.
    Files before;
};

/// nginx on two free loopback ports (http and https) serving one www folder, run in
/// the foreground as a child of the test so that it ends with the test.
class Nginx {
public:
    /// `extra`: more directives for both servers. With `sendAuthority` the https server
    /// sends the test authority after its own certificate, as servers of a private
    /// authority may.
    explicit Nginx(const QString& www, const QString& extra = {}, bool sendAuthority = false);
    ~Nginx() { stop(); }
    /// Fast shutdown: open connections are closed at once.
    void stop();

    quint16 httpPort = 0;
    quint16 httpsPort = 0;
    bool running = false;
    QString error;

private:
    static quint16 freePort();
    bool listening();

    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace tarvino::test
