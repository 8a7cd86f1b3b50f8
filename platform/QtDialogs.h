#pragma once

#include "platform/Dialogs.h"

#include <QHash>
#include <QPointer>

class QMessageBox;
class QWidget;

// The real dialogs: QMessageBox, QInputDialog and QFileDialog, modal over the main window;
// notices are message boxes that do not block it.
class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    DialogAnswer message(const MessageBoxRequest &request) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultAnswer) override;
    QString saveFileName(const FileDialogRequest &request) override;
    QString openFileName(const FileDialogRequest &request) override;
    void notice(const QString &text, const QString &title, DialogIcon icon) override;

private:
    QWidget *m_parent;
    QHash<QString, QPointer<QMessageBox>> m_notices; // by title; gone once closed
};
