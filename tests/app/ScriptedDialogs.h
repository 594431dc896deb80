#pragma once

#include "app/Dialogs.h"

#include <QStringList>

#include <optional>
#include <utility>

namespace tarvino::test {

/// The operator of the window tests: records the boxes, answers every question No
/// and chooses the one file it was given.
class ScriptedDialogs final : public Dialogs {
public:
    void message(QWidget*, const QString& text, Icon, const QString&) override { messages << text; }
    Answer question(QWidget*, const QString&) override { return Answer::No; }
    std::optional<QString> openFile(QWidget*, const FileDialogRequest&) override
    {
        ++requests;
        return std::exchange(file, std::nullopt);
    }

    QStringList messages;
    std::optional<QString> file;
    int requests = 0;
};

} // namespace tarvino::test
