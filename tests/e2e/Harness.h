#pragma once

// What the end-to-end runs share, natively and under Wine: the sample suite, nginx
// serving it on 127.0.0.1, and whole-folder comparisons.
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tarvino::test {

using Files = QMap<QString, QByteArray>;

QByteArray readAll(const QString& path);
bool writeAll(const QString& path, const QByteArray& bytes);
/// Every file below `folder` by its relative path, the tool's own work folder left out.
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

/// nginx on two free loopback ports (http and https) serving one www folder, run in
/// the foreground as a child of the test so that it ends with the test.
class Nginx {
public:
    /// `extra`: more directives for both servers.
    explicit Nginx(const QString& www, const QString& extra = {});
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
