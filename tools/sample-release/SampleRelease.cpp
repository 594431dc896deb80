// Writes a small but realistic sample of the suite: an installed release and,
// beside it, the document root of an update server publishing a newer regular
// and a newer trial release. Everything is generated, and the output is the same
// byte for byte on every run.

#include "Nginx.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimeZone>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

struct Version {
    int major = 0;
    int minor = 0;
    int revision = 0;
    std::int64_t size = 0; // unpacked bytes
};

// One item of the suite and what each release holds of it; an item missing from
// a release has no version there.
struct Item {
    QString name;
    std::optional<Version> installed;
    std::optional<Version> regular;
    std::optional<Version> trial;
};

// Manifest order is processing order: the database-change component comes right
// before its scripts, so a new component has the scripts installed again.
const std::vector<Item>& suite()
{
    using V = Version;
    static const std::vector<Item> items = {
        {QStringLiteral("TarvinoLiveUpdate23.exe"), V {23, 0, 1, 9000}, V {23, 0, 2, 9400}, V {23, 1, 0, 9800}},
        {QStringLiteral("Knjigovodstvo.exe"), V {23, 0, 4, 24000}, V {23, 0, 4, 24000}, V {23, 1, 0, 25500}},
        {QStringLiteral("Računi.exe"), V {23, 0, 5, 18000}, V {23, 0, 6, 18700}, V {23, 0, 6, 18700}},
        {QStringLiteral("Mjenjačnica.exe"), V {23, 0, 2, 12000}, V {23, 0, 2, 12000}, V {23, 0, 3, 12300}},
        {QStringLiteral("Kasa.exe"), std::nullopt, V {23, 0, 1, 15000}, V {23, 0, 1, 15000}},
        {QStringLiteral("TarvinoIspis23.dll"), V {23, 0, 3, 10000}, V {23, 0, 3, 10000}, V {23, 0, 3, 10000}},
        {QStringLiteral("Tražilica.ocx"), V {23, 0, 1, 6000}, V {23, 0, 1, 6400}, V {23, 0, 1, 6400}},
        {QStringLiteral("TarvinoIzmjBaza23.dll"), V {23, 0, 7, 8000}, V {23, 0, 8, 8200}, V {23, 0, 9, 8300}},
        {QStringLiteral("IzmjBaza23_001.enc"), V {23, 0, 1, 1500}, V {23, 0, 1, 1500}, V {23, 0, 1, 1500}},
        {QStringLiteral("IzmjBaza23_002.enc"), V {23, 0, 2, 2100}, V {23, 0, 2, 2100}, V {23, 0, 2, 2100}},
        {QStringLiteral("IzmjBaza23_003.enc"), std::nullopt, V {23, 0, 3, 1800}, V {23, 0, 3, 1800}},
        {QStringLiteral("IzmjBaza23_004.enc"), std::nullopt, std::nullopt, V {23, 0, 4, 1200}},
        {QStringLiteral("KnjigovodstvoPomoc.chm"), V {23, 0, 1, 5000}, V {23, 0, 1, 5000}, V {23, 0, 2, 5600}},
        {QStringLiteral("RačuniPomoc.chm"), V {23, 0, 1, 4000}, V {23, 0, 1, 4000}, V {23, 0, 1, 4000}},
    };
    return items;
}

enum class Release { Installed, Regular, Trial };

const std::optional<Version>& versionIn(const Item& item, Release release)
{
    switch (release) {
    case Release::Installed: return item.installed;
    case Release::Regular: return item.regular;
    case Release::Trial: break;
    }
    return item.trial;
}

// Each archive stores this time, so the archives come out the same on every run.
const QDateTime kFileTime(QDate(2026, 1, 5), QTime(8, 0), QTimeZone::utc());

class Failure {
public:
    explicit Failure(QString text) : m_text(std::move(text)) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

QString extensionOf(const QString& name)
{
    return name.right(3);
}

// The published name: last three characters become "7z", then lower-case č and ž
// lose their caron. Written out here on its own so the tool's rule is checked against it.
QString archiveName(const QString& name)
{
    QString packed = name.left(name.size() - 3) + QStringLiteral("7z");
    packed.replace(QChar(0x010D), QLatin1Char('c'));
    packed.replace(QChar(0x017E), QLatin1Char('z'));
    return packed;
}

// Help files, scripts and "ocx" components are published as they are, under the
// packed name; the tool only copies them back to their own name.
bool isPublishedUnpacked(const QString& name)
{
    const QString ext = extensionOf(name);
    return ext == QLatin1String("chm") || ext == QLatin1String("enc") || ext == QLatin1String("ocx");
}

// Where an item lives below the installation folder (help files: "Help", the
// help folder of a system without WinDir).
QString installedPath(const QString& installFolder, const QString& name)
{
    const QString ext = extensionOf(name);
    if (ext == QLatin1String("enc"))
        return installFolder + QStringLiteral("/Skrite za izmjenu baze/") + name;
    if (ext == QLatin1String("chm"))
        return installFolder + QStringLiteral("/Help/") + name;
    return installFolder + QLatin1Char('/') + name;
}

// Content of one file: a readable first line, then letters from a generator started
// by name and version, compressible about as well as real programs are.
QByteArray contentOf(const QString& name, const Version& v)
{
    QByteArray bytes = QStringLiteral("Tarvino %1 %2.%3.%4\r\n").arg(name).arg(v.major).arg(v.minor).arg(v.revision).toUtf8();
    std::uint32_t state = 2166136261u;
    for (const char c : bytes)
        state = (state ^ static_cast<std::uint8_t>(c)) * 16777619u;
    while (bytes.size() < v.size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes.append(static_cast<char>('A' + (state & 0x0F)));
    }
    bytes.truncate(v.size);
    return bytes;
}

// Programs and components grown by `extraBytes` each, for timing an update on
// files of a realistic size; scripts and help files keep theirs.
Version grown(const QString& name, Version v, std::int64_t extraBytes)
{
    const QString ext = extensionOf(name);
    if (ext == QLatin1String("exe") || ext == QLatin1String("dll") || ext == QLatin1String("ocx"))
        v.size += extraBytes;
    return v;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw Failure(QStringLiteral("cannot create the folder of ") + path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Failure(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + file.errorString());
}

// Manifests are 8-bit text in the workstation's code page: this system's, unless
// another is asked for (windows-1250 for a Windows program with Croatian settings).
QByteArray gCodePage;

QByteArray manifestBytes(const QStringList& lines)
{
    QStringEncoder encoder = gCodePage.isEmpty() ? QStringEncoder(QStringConverter::System)
                                                 : QStringEncoder(gCodePage.constData());
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += encoder.encode(line + QStringLiteral("\r\n"));
    return bytes;
}

QString manifestLine(const QString& name, const Version& v, std::int64_t packedSize)
{
    return QStringLiteral("%1;%2;%3;%4;%5;%6;0")
        .arg(name)
        .arg(v.major)
        .arg(v.minor)
        .arg(v.revision)
        .arg(packedSize)
        .arg(v.size);
}

// A real component given by --component takes the place of the generated database-change
// component, so that a run on Windows registers it for real.
QByteArray gComponent;

QByteArray contentFor(const QString& name, Version& v)
{
    if (gComponent.isEmpty() || name != QLatin1String("TarvinoIzmjBaza23.dll"))
        return contentOf(name, v);
    v.size = gComponent.size();
    return gComponent;
}

class Packer {
public:
    Packer(QString sevenZip, QString stagingRoot, QString level)
        : m_sevenZip(std::move(sevenZip)), m_root(std::move(stagingRoot)), m_level(std::move(level))
    {
    }

    // Publishes `content` of `name` as `archive` and returns the published size.
    std::int64_t pack(const QString& name, const QByteArray& content, const QString& archive)
    {
        if (isPublishedUnpacked(name)) {
            writeFile(archive, content);
            return content.size();
        }
        // A folder of its own per archive: the archive holds the bare file name.
        const QString stage = m_root + QStringLiteral("/") + QString::number(m_next++);
        const QString file = stage + QLatin1Char('/') + name;
        writeFile(file, content);
        QFile staged(file);
        staged.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        if (!staged.open(QIODevice::ReadWrite) || !staged.setFileTime(kFileTime, QFileDevice::FileModificationTime))
            throw Failure(QStringLiteral("cannot set the time of ") + file);
        staged.close();
        if (!QDir().mkpath(QFileInfo(archive).absolutePath()))
            throw Failure(QStringLiteral("cannot create the folder of ") + archive);
        QFile::remove(archive);

        QProcess process;
        process.setWorkingDirectory(stage);
        // File names with č and ž only survive 7-Zip in a UTF-8 locale.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        // One thread: the compressed stream then does not depend on the machine's cores.
        process.start(m_sevenZip, {QStringLiteral("a"), QStringLiteral("-t7z"), m_level,
                                   QStringLiteral("-mmt=1"), QStringLiteral("-bd"), QStringLiteral("-y"),
                                   QDir::toNativeSeparators(archive), name});
        if (!process.waitForStarted())
            throw Failure(QStringLiteral("cannot start ") + m_sevenZip + QStringLiteral(": ") + process.errorString());
        process.waitForFinished(-1);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            throw Failure(m_sevenZip + QStringLiteral(" failed for ") + archive + QStringLiteral(":\n") +
                          QString::fromLocal8Bit(process.readAll()));
        return QFileInfo(archive).size();
    }

private:
    QString m_sevenZip;
    QString m_root;
    QString m_level;
    int m_next = 0;
};

void writeInstallation(const QString& folder, Packer& packer, const QString& staging, std::int64_t extraBytes)
{
    QStringList lines;
    for (const Item& item : suite()) {
        if (!item.installed)
            continue;
        Version v = grown(item.name, *item.installed, extraBytes);
        const QByteArray content = contentFor(item.name, v);
        writeFile(installedPath(folder, item.name), content);
        // Column 4 of an installed manifest is the packed size of the release it came from.
        const std::int64_t packed =
            packer.pack(item.name, content, staging + QStringLiteral("/installed/") + archiveName(item.name));
        lines << manifestLine(item.name, v, packed);
    }
    writeFile(folder + QStringLiteral("/Verzije.txt"), manifestBytes(lines));
    writeFile(folder + QStringLiteral("/TeamViewerQS.exe"),
              contentOf(QStringLiteral("TeamViewerQS.exe"), Version {15, 0, 0, 7000}));
}

// `after`: the installation's files as an update to this release leaves them.
void writePublished(const QString& folder, const QString& after, Release release, Packer& packer,
                    std::int64_t extraBytes)
{
    QStringList lines;
    QStringList notes;
    for (const Item& item : suite()) {
        const std::optional<Version>& listed = versionIn(item, release);
        if (!listed)
            continue;
        Version v = grown(item.name, *listed, extraBytes);
        const QByteArray content = contentFor(item.name, v);
        const std::int64_t packed = packer.pack(item.name, content, folder + QLatin1Char('/') + archiveName(item.name));
        lines << manifestLine(item.name, v, packed);
        notes << QStringLiteral("%1 %2.%3.%4").arg(item.name).arg(v.major).arg(v.minor).arg(v.revision);
        // The tool never installs its own row.
        if (item.name != QLatin1String("TarvinoLiveUpdate23.exe"))
            writeFile(installedPath(after, item.name), content);
    }
    const QByteArray support = contentOf(QStringLiteral("TeamViewerQS.exe"), Version {15, 0, 0, 7000});
    for (const QString& to : {folder, after}) {
        writeFile(to + QStringLiteral("/Verzije.txt"), manifestBytes(lines));
        writeFile(to + QStringLiteral("/TeamViewerQS.exe"), support);
    }
    writeFile(folder + QStringLiteral("/VerzijeU.txt"), manifestBytes(notes));
}

bool isEmptyOrAbsent(const QString& folder)
{
    const QDir dir(folder);
    return !dir.exists() || dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvino_sample_release"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a sample of the Tarvino suite into <output>:\n"
        "  install/  an installation folder with its Verzije.txt, programs, components,\n"
        "            \"Skrite za izmjenu baze/\" (scripts), Help/ (help files), TeamViewerQS.exe\n"
        "  www/      an update server's document root:\n"
        "            download/Verzija23/         the newer regular release\n"
        "            download/Verzija23/Probna/  the newer trial release\n"
        "            each with Verzije.txt, VerzijeU.txt, TeamViewerQS.exe and one .7z per row\n"
        "            (help files, scripts and .ocx components as they are, under the .7z name).\n"
        "  after/    regular/ and trial/: the release's files where an update puts them.\n"
        "The output is the same on every run. <output> must be empty or absent.\n"
        "With --serve, serves <output>/www instead."));
    parser.addHelpOption();
    const QCommandLineOption sevenZip(QStringLiteral("7za"), QStringLiteral("7-Zip program to pack with (default: 7za)."),
                                      QStringLiteral("program"), QStringLiteral("7za"));
    parser.addOption(sevenZip);
    const QCommandLineOption sizeMiB(
        QStringLiteral("size-mib"),
        QStringLiteral("Make every program and component this many MiB larger, packed faster (-mx=1), for "
                       "benchmarks (default: 0, the small sample)."),
        QStringLiteral("MiB"), QStringLiteral("0"));
    parser.addOption(sizeMiB);
    const QCommandLineOption codePage(
        QStringLiteral("code-page"),
        QStringLiteral("Write the manifests in this code page, e.g. windows-1250 (default: the system's)."),
        QStringLiteral("name"));
    parser.addOption(codePage);
    const QCommandLineOption component(
        QStringLiteral("component"),
        QStringLiteral("Publish and install this file as the database-change component TarvinoIzmjBaza23.dll."),
        QStringLiteral("file"));
    parser.addOption(component);
    const QCommandLineOption serve(
        QStringLiteral("serve"),
        QStringLiteral("Serve <output>/www over http on 127.0.0.1 until standard input ends; the first line of "
                       "the output is the port."));
    parser.addOption(serve);
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("Folder to write the sample into."));
    if (!parser.parse(QCoreApplication::arguments())) {
        QTextStream(stderr) << parser.errorText() << "\n\n" << parser.helpText();
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        QTextStream(stderr) << "Exactly one output folder is needed.\n\n" << parser.helpText();
        return 2;
    }

    bool sizeOk = false;
    const int mib = parser.value(sizeMiB).toInt(&sizeOk);
    if (!sizeOk || mib < 0 || mib > 4096) {
        QTextStream(stderr) << "--size-mib needs a whole number from 0 to 4096.\n";
        return 2;
    }
    const std::int64_t extraBytes = std::int64_t {mib} << 20;
    gCodePage = parser.value(codePage).toLatin1();
    if (!gCodePage.isEmpty() && !QStringEncoder(gCodePage.constData()).isValid()) {
        QTextStream(stderr) << "Unknown code page: " << parser.value(codePage) << '\n';
        return 2;
    }

    const QString output = QDir(positional.front()).absolutePath();
    if (parser.isSet(serve)) {
        tarvino::Nginx nginx(output + QStringLiteral("/www"));
        if (!nginx.running) {
            QTextStream(stderr) << "nginx could not be started: " << nginx.error << '\n';
            return 1;
        }
        std::printf("%u\n", unsigned(nginx.httpPort));
        std::fflush(stdout);
        char buffer[256];
        while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
        }
        return 0;
    }
    if (parser.isSet(component)) {
        QFile file(parser.value(component));
        if (!file.open(QIODevice::ReadOnly) || (gComponent = file.readAll()).isEmpty()) {
            QTextStream(stderr) << "Cannot read the component " << file.fileName() << '\n';
            return 1;
        }
    }
    if (!isEmptyOrAbsent(output)) {
        QTextStream(stderr) << "The output folder is not empty: " << output << '\n';
        return 1;
    }
    QTemporaryDir staging;
    if (!staging.isValid()) {
        QTextStream(stderr) << "Cannot create a temporary folder: " << staging.errorString() << '\n';
        return 1;
    }

    try {
        // Large files at the usual level would take minutes to pack.
        Packer packer(parser.value(sevenZip), staging.path(),
                      extraBytes > 0 ? QStringLiteral("-mx=1") : QStringLiteral("-mx=5"));
        writeInstallation(output + QStringLiteral("/install"), packer, staging.path(), extraBytes);
        const QString server = output + QStringLiteral("/www/download/Verzija23");
        writePublished(server, output + QStringLiteral("/after/regular"), Release::Regular, packer, extraBytes);
        writePublished(server + QStringLiteral("/Probna"), output + QStringLiteral("/after/trial"), Release::Trial,
                       packer, extraBytes);
    } catch (const Failure& failure) {
        QTextStream(stderr) << failure.text() << '\n';
        return 1;
    }
    QTextStream(stdout) << "Sample written to " << output << '\n';
    return 0;
}
