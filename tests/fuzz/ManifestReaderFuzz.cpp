// libFuzzer target: any bytes as a manifest through the table reader, and as a name
// through the name check. Neither may crash, overflow or read out of bounds.
#include "core/SettingsStore.h"
#include "core/TableFile.h"
#include "core/Text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

using namespace tarvino;

class SilentWindow final : public WindowPort {
public:
    void message(const QString&, Icon, const QString&) override {}
    Answer question(const QString&) override { return Answer::No; }
    void setStatus(Panel, const QString&) override {}
    QString status(Panel) const override { return {}; }
    void setActionPane(const QString&) override {}
    void setErrorPane(const QString&) override {}
    void showProgress(double, double) override {}
    void setProgress(double) override {}
    void hideProgress() override {}
    void selectTab(int) override {}
    int currentTab() const override { return 0; }
    void showPlan(const std::vector<PlanGridRow>&) override {}
    void markPlanRow(const QString&, int) override {}
    void setUpdateEnabled(bool) override {}
    void showFolderText(int, const QString&) override {}
    void processEvents() override {}
};

struct Reader {
    Reader()
    {
        // No Update folder: the journal has nowhere to grow while the reader runs.
        state.programFolder = folder.path();
        manifest = folder.filePath(QStringLiteral("Verzije.txt"));
    }

    QTemporaryDir folder;
    QString manifest;
    AppState state;
    SilentWindow window;
    std::unique_ptr<platform::Platform> platform = platform::createNativePlatform();
    SettingsStore settings{
        std::make_unique<QSettings>(folder.filePath(QStringLiteral("Tarvino.ini")), QSettings::IniFormat)};
    Context ctx{state, window, *platform, settings};
    Matrix matrix;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Reader reader;

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)whyNotPlainFileName(fromAnsi(bytes));

    QFile file(reader.manifest);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return 0;
    file.close();
    QString reason;
    if (UčitajUMatricu(reader.ctx, reader.matrix, reader.manifest, &reason)) {
        // Whatever was read is what the plan later takes as names and sizes.
        for (int row = 0; row < reader.state.rowCounter; ++row) {
            if (!whyNotPlainFileName(reader.matrix.at(row, 0).text()).isEmpty())
                __builtin_trap();
        }
    }
    return 0;
}
