#pragma once

// A test installation with an Update folder and release files packed by the real 7-Zip.

#include "TestInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarvino::test {

/// Bytes that do not compress, so that archive sizes are predictable.
inline QByteArray noise(qsizetype size, quint32 variant = 7)
{
    QRandomGenerator random(variant);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = static_cast<char>(random.generate() & 0xff);
    return bytes;
}

/// A 7-Zip archive of these files (name, content), made by the real 7za; a content
/// "->path" stores a link to that path.
inline QByteArray sevenZip(const QList<std::pair<QString, QByteArray>>& members)
{
    QTemporaryDir work;
    QStringList arguments = {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-mx=1"),
                             QStringLiteral("-snl"), QStringLiteral("archive.7z")};
    for (const auto& [name, content] : members) {
        if (content.startsWith("->")) {
            EXPECT_TRUE(QFile::link(QString::fromUtf8(content.mid(2)), work.filePath(name)));
        } else {
            QFile file(work.filePath(name));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        }
        arguments << name;
    }
    QProcess zip;
    zip.setWorkingDirectory(work.path());
    zip.start(QStringLiteral("7za"), arguments);
    EXPECT_TRUE(zip.waitForFinished(60000) && zip.exitCode() == 0) << zip.readAll().toStdString();
    QFile archive(work.filePath(QStringLiteral("archive.7z")));
    return archive.open(QIODevice::ReadOnly) ? archive.readAll() : QByteArray();
}

inline QByteArray sevenZip(const QString& name, const QByteArray& content)
{
    return sevenZip({{name, content}});
}

/// What a release publishes for one manifest row: the file and its packed form (a 7-Zip
/// archive, or the file itself for "chm", "enc" and "ocx").
struct Published {
    QString name;
    QByteArray content;
    QByteArray packed;

    QString packedName() const { return tarvino::packedName(name); }
};

inline Published publish(const QString& name, const QByteArray& content)
{
    const QString ext = extensionOf(name);
    const bool copyOnly =
        ext == QLatin1String("chm") || ext == QLatin1String("enc") || ext == QLatin1String("ocx");
    return {name, content, copyOnly ? content : sevenZip(name, content)};
}

/// An installation whose Update folder exists and whose plan the test fills.
struct PackedRelease {
    PackedRelease()
    {
        inst.state.updateFolder = inst.folder() + QStringLiteral("Update") + separator();
        inst.platform.fakeClock.setTime({2026, 12, 6, 10, 15, 0, 0});
    }

    QString update(const QString& name) const { return inst.state.updateFolder + name; }
    bool inUpdate(const QString& name) const { return QFile::exists(update(name)); }
    QByteArray readUpdate(const QString& name) const { return inst.read(QStringLiteral("Update/") + name); }

    /// Puts a row into the plan matrix; `planned` writes the install mark.
    void planRow(int row, const Published& p, bool planned = true)
    {
        Matrix& plan = inst.state.plan;
        plan.at(row, 0) = Cell(p.name);
        plan.at(row, 1) = Cell(QStringLiteral("23"));
        plan.at(row, 4) = Cell(QString::number(p.packed.size()));
        plan.at(row, 5) = Cell(QString::number(p.content.size()));
        plan.at(row, 6) = Cell(std::int64_t{planned ? 1 : 0});
        if (planned)
            inst.state.totalPackedSize += p.packed.size();
    }

    TestInstallation inst;
};

} // namespace tarvino::test
