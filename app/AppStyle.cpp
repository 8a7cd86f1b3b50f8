#include "app/AppStyle.h"

#include <QApplication>
#include <QFont>

void applyAppStyle(QApplication &app)
{
    // The geometry was drawn for a small 8-point system font; this is the closest match
    // that keeps every caption whole.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    font.setLetterSpacing(QFont::PercentageSpacing, 97);
    app.setFont(font);
    app.setStyle(QStringLiteral("Fusion"));
    app.setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
}
