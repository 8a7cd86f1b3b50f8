#include "tests/support/ScriptedDialogs.h"

#include <gtest/gtest.h>

ScriptedDialogs &ScriptedDialogs::then(DialogAnswer answer)
{
    m_answers.emplace_back(answer);
    return *this;
}

ScriptedDialogs &ScriptedDialogs::then(const QString &text)
{
    m_answers.emplace_back(text);
    return *this;
}

DialogAnswer ScriptedDialogs::message(const MessageBoxRequest &request)
{
    m_shown.push_back({Kind::Message, request, request.title, {}});
    if (m_answers.empty() || !std::holds_alternative<DialogAnswer>(m_answers.front())) {
        ADD_FAILURE() << "unscripted message box: " << request.title.toStdString() << ": "
                      << request.text.toStdString();
        return request.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    }
    const DialogAnswer answer = std::get<DialogAnswer>(m_answers.front());
    m_answers.pop_front();
    return answer;
}

QString ScriptedDialogs::nextText()
{
    if (m_answers.empty() || !std::holds_alternative<QString>(m_answers.front())) {
        ADD_FAILURE() << "unscripted input or file dialog: " << m_shown.back().title.toStdString();
        return {};
    }
    const QString text = std::get<QString>(m_answers.front());
    m_answers.pop_front();
    return text;
}

QString ScriptedDialogs::input(const QString &, const QString &title, const QString &defaultAnswer)
{
    m_shown.push_back({Kind::Input, {}, title, defaultAnswer});
    return nextText();
}

QString ScriptedDialogs::saveFileName(const FileDialogRequest &request)
{
    m_shown.push_back({Kind::SaveFile, {}, request.title, {}});
    return nextText();
}

QString ScriptedDialogs::openFileName(const FileDialogRequest &request)
{
    m_shown.push_back({Kind::OpenFile, {}, request.title, {}});
    return nextText();
}

void ScriptedDialogs::notice(const QString &text, const QString &title, DialogIcon icon)
{
    m_shown.push_back({Kind::Notice, {text, title, DialogButtons::Ok, icon, DialogAnswer::Ok}, title, {}});
}

std::vector<QString> ScriptedDialogs::messageTexts() const
{
    std::vector<QString> texts;
    for (const Shown &s : m_shown) {
        if (s.kind == Kind::Message)
            texts.push_back(s.message.text);
    }
    return texts;
}

void ScriptedDialogs::clear()
{
    m_answers.clear();
    m_shown.clear();
}
