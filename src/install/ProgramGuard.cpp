#include "install/ProgramGuard.h"

#include "core/Text.h"

#include <optional>

namespace tarvino {
namespace {

// The main windows of release 23. The help window carries no release number.
constexpr std::array<SuiteProgram, 34> kSuitePrograms {{
    {"Knjigovodstvo 23", "Knjigovodstvo 23"},
    {"Robno poslovanje 23", "Robno poslovanje 23"},
    {"Maloprodaja 23", "Maloprodaja 23"},
    {"POS Kasa 23", "Kasa 23"},
    {"Plaće 23", "Plaće 23"},
    {"Osnovna sredstva 23", "Osnovna sredstva 23"},
    {"Sitni inventar 23", "Sitni inventar 23"},
    {"Fakturisanje 23", "Fakturisanje 23"},
    {"Blagajna 23", "Blagajna 23"},
    {"Putni nalozi 23", "Putni nalozi 23"},
    {"Kompenzacije 23", "Kompenzacije 23"},
    {"Devizni izvodi 23", "Izvodi 23"},
    {"Obračun kamata 23", "Kamate 23"},
    {"Ugostiteljstvo 23", "Ugostiteljstvo 23"},
    {"Proizvodnja 23", "Proizvodnja 23"},
    {"Servis 23", "Servis 23"},
    {"Veleprodaja 23", "Veleprodaja 23"},
    {"Kadrovska evidencija 23", "Kadrovska 23"},
    {"Evidencija radnog vremena 23", "Radno vrijeme 23"},
    {"Knjiga ulaznih faktura 23", "KUF 23"},
    {"Knjiga izlaznih faktura 23", "KIF 23"},
    {"Porezne prijave 23", "Porezne prijave 23"},
    {"Administracija 23", "Tarvino Administracija 23"},
    {"Tarvino Izvještaji 23", "Tarvino Izvještaji 23"},
    {"Carinska skladišta 23", "Carina 23"},
    {"Ponude i narudžbe 23", "Ponude i narudžbe 23"},
    {"Komisiona prodaja 23", "Komisija 23"},
    {"Registar kupaca 23", "Registar kupaca 23"},
    {"Zaduženja 23", "Zaduženja 23"},
    {"Knjiga pošte 23", "Knjiga pošte 23"},
    {"Arhiva dokumenata 23", "Arhiva dokumenata 23"},
    {"Izmjena baze_V23", "Izmjena baze 23"},
    {"Import podataka 23", "Import podataka 23"},
    {"Tarvino Pomoć", "Tarvino Pomoć"},
}};

struct ApplicationClass {
    const char* key;
    const char* windowClass;
};

constexpr std::array<ApplicationClass, 8> kApplicationClasses {{
    {"excel", "XLMain"},
    {"word", "OpusApp"},
    {"access", "OMain"},
    {"powerpoint95", "PP7FrameClass"},
    {"powerpoint97", "PP97FrameClass"},
    {"notepad", "NOTEPAD"},
    {"paintbrush", "pbParent"},
    {"wordpad", "WordPadClass"},
}};

std::optional<std::string> classOf(const QString& name)
{
    const QString key = name.toLower();
    for (const ApplicationClass& entry : kApplicationClasses) {
        if (key == QLatin1String(entry.key))
            return std::string(entry.windowClass);
    }
    return std::nullopt;
}

// The first application-defined message number plus 18; the programs ignore its answer.
constexpr unsigned kWakeMessage = 1024 + 18;
// Show minimised: a minimised program stays minimised and is not restored.
constexpr int kShowMinimized = 2;

} // namespace

const std::array<SuiteProgram, 34>& suitePrograms()
{
    return kSuitePrograms;
}

QString PokrenutiProgrami(platform::WindowManager& windows)
{
    QString list;
    for (const SuiteProgram& program : kSuitePrograms) {
        if (AppJeStartana(windows, QString::fromUtf8(program.caption), false))
            list += QString::fromUtf8(program.reportedName) + CRLF;
    }
    return list;
}

bool AppJeStartana(platform::WindowManager& windows, const QString& name, bool activate)
{
    try {
        const std::optional<std::string> windowClass = classOf(name);
        const platform::WindowHandle window =
            windowClass ? windows.findWindow(windowClass, std::nullopt) : windows.findWindow(std::nullopt, native(name));
        if (window == 0)
            return false;
        windows.sendMessage(window, kWakeMessage);
        if (windows.isIconic(window))
            windows.showWindow(window, kShowMinimized);
        if (activate)
            windows.setForegroundWindow(window);
        return true;
    } catch (const std::exception&) {
        // A window manager that cannot answer: the program counts as closed.
        return false;
    }
}

} // namespace tarvino
