#pragma once

#include <QString>

// The program's name, used as the title of every message box without a title of its own.
inline QString applicationTitle()
{
    return QStringLiteral("Tunvero");
}

// The window caption: the name and a short credit line. Settings are stored under it.
inline QString windowCaption()
{
    return QStringLiteral("Tunvero – musik i takt i alla rum");
}
