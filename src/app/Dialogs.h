#pragma once

#include "core/WindowPort.h"

#include <QString>

#include <optional>

class QWidget;

namespace tarvino {

/// What the file-open dialog of a folder chooser is asked to show.
struct FileDialogRequest {
    QString title;
    QString filter;
    QString defaultSuffix;
    QString initialFolder;
    QString initialFile;
};

/// The window's modal dialogs, kept apart so that tests can answer them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void message(QWidget* parent, const QString& text, Icon icon, const QString& title) = 0;
    virtual Answer question(QWidget* parent, const QString& text) = 0;
    /// A box that does not wait for the operator: the work goes on beneath it.
    virtual void notice(QWidget* parent, const QString& text) = 0;
    /// The chosen file's path in native form, or nothing when cancelled.
    virtual std::optional<QString> openFile(QWidget* parent, const FileDialogRequest& request) = 0;
};

/// Qt's message boxes and file dialog.
class QtDialogs final : public Dialogs {
public:
    void message(QWidget* parent, const QString& text, Icon icon, const QString& title) override;
    Answer question(QWidget* parent, const QString& text) override;
    void notice(QWidget* parent, const QString& text) override;
    std::optional<QString> openFile(QWidget* parent, const FileDialogRequest& request) override;
};

/// Makes Qt's own texts (the boxes' buttons, the file chooser) Croatian. The
/// translation is looked for beside the program first, where it is deployed with
/// it, then among Qt's. False when neither has it: the texts stay English.
bool loadQtTranslation();

} // namespace tarvino
