#pragma once

#include <QPushButton>

// A push button whose caption wraps onto a second line, for the tall narrow buttons
// "Starta uppspelning" and "Hastighet: Låg".
class WrappingButton : public QPushButton {
    Q_OBJECT
public:
    explicit WrappingButton(const QString &text, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
