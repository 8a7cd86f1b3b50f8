#include "app/AppStyle.h"

#include <QApplication>
#include <QFont>

void applyAppStyle(QApplication &app)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    app.setFont(font);
    app.setStyle(QStringLiteral("Fusion"));
}
