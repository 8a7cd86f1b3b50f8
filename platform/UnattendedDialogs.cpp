#include "platform/UnattendedDialogs.h"

#include <QRegularExpression>

#include <cstdio>

namespace {

QString nameOf(DialogAnswer answer)
{
    switch (answer) {
    case DialogAnswer::Yes:
        return QStringLiteral("Ja");
    case DialogAnswer::No:
        return QStringLiteral("Nej");
    case DialogAnswer::Ok:
        break;
    }
    return QStringLiteral("OK");
}

bool offers(DialogButtons buttons, DialogAnswer answer)
{
    if (buttons == DialogButtons::YesNo)
        return answer == DialogAnswer::Yes || answer == DialogAnswer::No;
    return answer == DialogAnswer::Ok;
}

// Texts may span lines and paragraphs; one printed line per dialog keeps the log readable.
QString oneLine(QString text)
{
    static const QRegularExpression lineBreaks(QStringLiteral("\n+"));
    return text.replace(lineBreaks, QStringLiteral(" / "));
}

} // namespace

UnattendedDialogs::UnattendedDialogs(Print print) : m_print(std::move(print))
{
    if (!m_print) {
        m_print = [](const QString &line) {
            std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
            std::fflush(stderr);
        };
    }
}

void UnattendedDialogs::setAnswer(const QString &title, DialogAnswer answer)
{
    m_buttons.insert(title, answer);
}

void UnattendedDialogs::setAnswer(const QString &title, const QString &text)
{
    m_texts.insert(title, text);
}

void UnattendedDialogs::clearAnswer(const QString &title)
{
    m_buttons.remove(title);
    m_texts.remove(title);
}

DialogAnswer UnattendedDialogs::message(const MessageBoxRequest &request)
{
    DialogAnswer answer = request.defaultButton;
    const auto set = m_buttons.constFind(request.title);
    if (set != m_buttons.constEnd() && offers(request.buttons, *set))
        answer = *set;
    else if (!offers(request.buttons, answer))
        // A default the box does not offer: Enter would close it as Escape does.
        answer = request.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    m_print(QStringLiteral("[%1] %2 -> %3").arg(request.title, oneLine(request.text), nameOf(answer)));
    return answer;
}

QString UnattendedDialogs::input(const QString &prompt, const QString &title, const QString &defaultAnswer)
{
    const QString answer = m_texts.value(title, defaultAnswer);
    m_print(QStringLiteral("[%1] %2 -> \"%3\"").arg(title, oneLine(prompt), answer));
    return answer;
}

QString UnattendedDialogs::saveFileName(const FileDialogRequest &request)
{
    return fileAnswer(QStringLiteral("spara"), request);
}

QString UnattendedDialogs::openFileName(const FileDialogRequest &request)
{
    return fileAnswer(QStringLiteral("öppna"), request);
}

void UnattendedDialogs::notice(const QString &text, const QString &title, DialogIcon)
{
    m_print(QStringLiteral("[%1] %2").arg(title, oneLine(text)));
}

QString UnattendedDialogs::fileAnswer(const QString &kind, const FileDialogRequest &request)
{
    const QString answer = m_texts.value(request.title);
    m_print(QStringLiteral("[%1] (%2 %3) -> \"%4\"").arg(request.title, kind, request.filter, answer));
    return answer;
}
