#include "app/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

namespace tarvino {
namespace {

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Boxes without a title of their own carry the application's name.
QString titleOrDefault(const QString& title)
{
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

} // namespace

void QtDialogs::message(QWidget* parent, const QString& text, Icon icon, const QString& title)
{
    QMessageBox box(toQt(icon), titleOrDefault(title), text, QMessageBox::Ok, parent);
    box.exec();
}

Answer QtDialogs::question(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, titleOrDefault({}), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtDialogs::notice(QWidget* parent, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, titleOrDefault({}), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

std::optional<QString> QtDialogs::openFile(QWidget* parent, const FileDialogRequest& request)
{
    QFileDialog dialog(parent, request.title, request.initialFolder, request.filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.selectFile(request.initialFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

bool loadQtTranslation()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString name = QStringLiteral("qtbase_hr");
    for (const QString& folder : {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (translator->load(name, folder))
            return QCoreApplication::installTranslator(translator);
    }
    delete translator;
    return false;
}

} // namespace tarvino
