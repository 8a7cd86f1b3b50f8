#pragma once

#include <QString>

enum class DialogButtons { Ok, YesNo };
enum class DialogIcon { None, Information, Question, Critical };
enum class DialogAnswer { Ok, Yes, No };

struct MessageBoxRequest {
    QString text;
    QString title;
    DialogButtons buttons = DialogButtons::Ok;
    DialogIcon icon = DialogIcon::None;
    DialogAnswer defaultButton = DialogAnswer::Ok;
};

struct FileDialogRequest {
    QString title;
    QString filter; // one pattern, shown as its own description: "*.tunvero"
    QString folder; // where the dialog opens; "" lets the toolkit choose
};

// Every message box, input box and file dialog the program shows goes through this seam,
// so the questions can be answered by a script in tests.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual DialogAnswer message(const MessageBoxRequest &request) = 0;
    // A cancelled input box answers "", as an emptied one does.
    virtual QString input(const QString &prompt, const QString &title, const QString &defaultAnswer) = 0;
    // A cancelled file dialog answers "".
    virtual QString saveFileName(const FileDialogRequest &request) = 0;
    virtual QString openFileName(const FileDialogRequest &request) = 0;
    // A message that asks nothing and holds nothing up: it is shown without waiting for it to
    // be closed. A later notice under the same title takes the place of one still shown.
    virtual void notice(const QString &text, const QString &title, DialogIcon icon) = 0;

    // A Yes/No question with a question icon and No as the default, as every question of
    // the program is; true on Yes.
    bool askYesNo(const QString &text, const QString &title)
    {
        return message({text, title, DialogButtons::YesNo, DialogIcon::Question, DialogAnswer::No}) ==
               DialogAnswer::Yes;
    }

    // A message with an OK button only.
    void tell(const QString &text, const QString &title, DialogIcon icon = DialogIcon::None)
    {
        message({text, title, DialogButtons::Ok, icon, DialogAnswer::Ok});
    }
};
