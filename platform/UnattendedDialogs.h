#pragma once

#include "platform/Dialogs.h"

#include <QHash>
#include <QString>

#include <functional>

// The dialogs of a copy that runs with nobody at the screen: every message box, input box and
// file dialog is printed (title, text, answer) and answered at once, with the answer set for
// its title when there is one, else as a user pressing Enter would: the default button, the
// offered text, a cancelled file dialog.
class UnattendedDialogs final : public Dialogs {
public:
    using Print = std::function<void(const QString &line)>;

    // Prints to standard error unless told otherwise.
    explicit UnattendedDialogs(Print print = {});

    // The answer to message boxes titled `title`; a button the box lacks is not used.
    void setAnswer(const QString &title, DialogAnswer answer);
    // The answer to input boxes and file dialogs titled `title`.
    void setAnswer(const QString &title, const QString &text);
    void clearAnswer(const QString &title);

    DialogAnswer message(const MessageBoxRequest &request) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultAnswer) override;
    QString saveFileName(const FileDialogRequest &request) override;
    QString openFileName(const FileDialogRequest &request) override;
    void notice(const QString &text, const QString &title, DialogIcon icon) override;

private:
    QString fileAnswer(const QString &kind, const FileDialogRequest &request);

    Print m_print;
    QHash<QString, DialogAnswer> m_buttons;
    QHash<QString, QString> m_texts;
};
