#pragma once

#include "TestHttpServer.h"
#include "TestInstallation.h"

#include <optional>

namespace tarvino::test {

/// A 7-Zip archive of these files (name, content), made by the real 7za; a content
/// "->path" stores a link to that path.
QByteArray sevenZip(const QList<std::pair<QString, QByteArray>>& members);

/// One row of a release: its manifest line and the file it publishes (sizes only where they lie).
struct Row {
    QString name;
    QByteArray content = "program";
    int major = 23;
    int minor = 0;
    int revision = 0;
    std::optional<qint64> packedSize = {};
    std::optional<qint64> unpackedSize = {};
    bool planned = true;
    /// As published (packed once): a 7-Zip archive, or the file itself for "chm", "enc" and "ocx".
    QByteArray packed = {};
};

QByteArray manifest(const std::vector<Row>& rows);

/// An installation whose sources are two servers on 127.0.0.1 (the first selected) and a network folder
/// holding what the first holds; with `tls` https and the component fetches, else http and the control.
struct ServedInstallation {
    explicit ServedInstallation(bool tls = false);

    static QString url(const QString& name) { return QStringLiteral("/download/Verzija23/") + name; }
    /// The network folder as the operator types it, with its separator.
    QString network() const;
    /// Publishes a file on the first server and in the network folder.
    void put(const QString& name, const QByteArray& bytes);
    /// Packs the rows and publishes them and their manifest; the planned ones go into the plan.
    void publish();
    QString update(const QString& name) const { return inst.state.updateFolder + name; }
    QByteArray updated(const QString& name) const { return inst.read(QStringLiteral("Update/") + name); }
    /// The archives the first server was asked for, in order, joined by blanks.
    QString fetched() const;

    TestInstallation inst;
    TestHttpServer server;
    TestHttpServer secondary;
    std::vector<Row> rows;
};

} // namespace tarvino::test
