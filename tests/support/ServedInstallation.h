#pragma once

#include "TestHttpServer.h"
#include "TestInstallation.h"

#include <optional>

namespace tarvino::test {

/// Bytes that do not compress, so that archive sizes are predictable.
QByteArray noise(qsizetype size);

/// A 7-Zip archive of these files (name, content), made by the real 7za; a content
/// "->path" stores a link to that path.
QByteArray sevenZip(const QList<std::pair<QString, QByteArray>>& members);

/// One row of a release: its manifest line and the file it publishes.
struct Row {
    QString name;
    QByteArray content = "program";
    int major = 23;
    int minor = 0;
    int revision = 0;
    /// What the manifest says of the sizes, when it does not tell the truth.
    std::optional<qint64> packedSize = {};
    std::optional<qint64> unpackedSize = {};
    bool planned = true;
    /// As published: a 7-Zip archive, or the file itself for "chm", "enc" and "ocx"; packed once.
    QByteArray packed = {};
};

/// Manifest lines of these rows.
QByteArray manifest(const std::vector<Row>& rows);

/// An installation with an Update folder whose update sources are two servers on
/// 127.0.0.1 (the first one selected) and a network folder beside it; the release is
/// published on the first server and in the folder. With `tls` the servers speak https
/// only and the component fetches, else http only and the transfer control.
struct ServedInstallation {
    explicit ServedInstallation(bool tls = false);

    /// A file's address on the update server.
    static QString url(const QString& name) { return QStringLiteral("/download/Verzija23/") + name; }
    /// The network folder as the operator types it, with its separator.
    QString network() const;
    /// Puts a file on the first server and into the network folder.
    void put(const QString& name, const QByteArray& bytes);
    /// Packs the rows and publishes them and their manifest; the planned ones go into the plan.
    void publish();
    QString update(const QString& name) const { return inst.state.updateFolder + name; }
    QByteArray updated(const QString& name) const { return inst.read(QStringLiteral("Update/") + name); }

    TestInstallation inst;
    TestHttpServer server;
    TestHttpServer secondary;
    std::vector<Row> rows;
};

} // namespace tarvino::test
