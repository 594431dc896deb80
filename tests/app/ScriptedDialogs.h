#pragma once

#include "app/Dialogs.h"

#include <QStringList>

#include <deque>
#include <optional>

namespace tarvino::test {

/// The operator of the window tests: records boxes and answers from a script.
class ScriptedDialogs final : public Dialogs {
public:
    void message(QWidget*, const QString& text, Icon icon, const QString& title) override
    {
        messages << text;
        icons.push_back(icon);
        titles << title;
    }
    Answer question(QWidget*, const QString& text) override
    {
        questions << text;
        if (answers.empty())
            return Answer::No;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<QString> openFile(QWidget*, const FileDialogRequest& request) override
    {
        requests.push_back(request);
        if (files.empty())
            return std::nullopt;
        auto chosen = files.front();
        files.pop_front();
        return chosen;
    }

    QStringList messages;
    std::vector<Icon> icons;
    QStringList titles;
    QStringList questions;
    std::deque<Answer> answers;
    std::deque<std::optional<QString>> files;
    std::vector<FileDialogRequest> requests;
};

} // namespace tarvino::test
