#pragma once

#include "platform/Dialogs.h"

#include <QString>

#include <deque>
#include <variant>
#include <vector>

// A stand-in for the real dialogs: records every dialog shown and answers from a script.
// A dialog with no scripted answer left fails the running test and answers No / "".
class ScriptedDialogs final : public Dialogs {
public:
    enum class Kind { Message, Input, SaveFile, OpenFile, Notice };

    struct Shown {
        Kind kind;
        MessageBoxRequest message; // Message, Notice
        QString title;             // Input, SaveFile, OpenFile
        QString defaultAnswer;     // Input
    };

    // Queue the answer of the next dialog: a button for a message box, a text for an input
    // box or a file dialog.
    ScriptedDialogs &then(DialogAnswer answer);
    ScriptedDialogs &then(const QString &text);

    DialogAnswer message(const MessageBoxRequest &request) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultAnswer) override;
    QString saveFileName(const FileDialogRequest &request) override;
    QString openFileName(const FileDialogRequest &request) override;
    // Recorded only: a notice takes no answer.
    void notice(const QString &text, const QString &title, DialogIcon icon) override;

    const std::vector<Shown> &shown() const { return m_shown; }
    const Shown &last() const { return m_shown.back(); }
    // Texts of the message boxes shown so far, in order.
    std::vector<QString> messageTexts() const;
    std::size_t unanswered() const { return m_answers.size(); }
    void clear();

private:
    QString nextText();

    std::deque<std::variant<DialogAnswer, QString>> m_answers;
    std::vector<Shown> m_shown;
};
