#pragma once

#include <QWidget>

// The window's geometry is given in twips: 15 twips are one pixel at 96 dots per inch.
namespace twips {

constexpr int perPixel = 15;

constexpr int toPixels(int value)
{
    return value / perPixel;
}

inline void setGeometry(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

inline int width(const QWidget *widget)
{
    return widget->width() * perPixel;
}

inline int height(const QWidget *widget)
{
    return widget->height() * perPixel;
}

inline int left(const QWidget *widget)
{
    return widget->x() * perPixel;
}

inline int top(const QWidget *widget)
{
    return widget->y() * perPixel;
}

} // namespace twips
