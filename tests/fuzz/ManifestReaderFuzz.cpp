// libFuzzer target: any bytes as a manifest through the table reader, and as a name through the name check.
// Neither may crash, overflow or read out of bounds; whatever the reader keeps is a plain file name.
#include "RecordingWindow.h"
#include "core/SettingsStore.h"
#include "core/TableFile.h"
#include "core/Text.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

using namespace tarvino;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir folder;
    // No Update folder: the journal has nowhere to grow while the reader runs.
    static AppState state{.programFolder = folder.path()};
    static test::RecordingWindow window;
    static const auto native = platform::createNativePlatform();
    static SettingsStore settings{
        std::make_unique<QSettings>(folder.filePath(QStringLiteral("Tarvino.ini")), QSettings::IniFormat)};
    static Context ctx{state, window, *native, settings};
    static Matrix matrix;
    window = {}; // its records would grow without end

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)whyNotPlainFileName(fromAnsi(bytes));
    QFile file(folder.filePath(QStringLiteral("Verzije.txt")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return 0;
    file.close();
    if (!UčitajUMatricu(ctx, matrix, file.fileName()))
        return 0;
    for (int row = 0; row < state.rowCounter; ++row) {
        if (!whyNotPlainFileName(matrix.at(row, 0).text()).isEmpty())
            __builtin_trap();
    }
    return 0;
}
