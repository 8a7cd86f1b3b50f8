#include "platform/QtDialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QMessageBox::Icon toQt(DialogIcon icon)
{
    switch (icon) {
    case DialogIcon::Information:
        return QMessageBox::Information;
    case DialogIcon::Question:
        return QMessageBox::Question;
    case DialogIcon::Critical:
        return QMessageBox::Critical;
    case DialogIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQt(DialogAnswer answer)
{
    switch (answer) {
    case DialogAnswer::Yes:
        return QMessageBox::Yes;
    case DialogAnswer::No:
        return QMessageBox::No;
    case DialogAnswer::Ok:
        break;
    }
    return QMessageBox::Ok;
}

} // namespace

DialogAnswer QtDialogs::message(const MessageBoxRequest &request)
{
    const auto buttons = request.buttons == DialogButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                                 : QMessageBox::StandardButtons(QMessageBox::Ok);
    QMessageBox box(toQt(request.icon), request.title, request.text, buttons, m_parent);
    box.setDefaultButton(toQt(request.defaultButton));
    if (request.buttons == DialogButtons::YesNo)
        box.setEscapeButton(QMessageBox::No);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return DialogAnswer::Yes;
    case QMessageBox::No:
        return DialogAnswer::No;
    default:
        return request.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    }
}

QString QtDialogs::input(const QString &prompt, const QString &title, const QString &defaultAnswer)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, defaultAnswer, &ok);
    return ok ? answer : QString();
}

QString QtDialogs::saveFileName(const FileDialogRequest &request)
{
    // No overwrite question: saving over a playlist file replaces it, as the user asked.
    return QFileDialog::getSaveFileName(m_parent, request.title, request.folder, request.filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString QtDialogs::openFileName(const FileDialogRequest &request)
{
    return QFileDialog::getOpenFileName(m_parent, request.title, request.folder, request.filter);
}

void QtDialogs::notice(const QString &text, const QString &title, DialogIcon icon)
{
    QPointer<QMessageBox> &box = m_notices[title];
    if (!box) {
        box = new QMessageBox(toQt(icon), title, text, QMessageBox::Ok, m_parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
    }
    box->setText(text);
    box->show();
    box->raise();
}
