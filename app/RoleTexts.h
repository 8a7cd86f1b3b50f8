#pragma once

#include <QString>

// The question both role boxes ask when the other role is on too.
namespace roleTexts {

inline QString bothRolesText()
{
    return QStringLiteral("Vill du verkligen köra både en klient och en server på samma dator?\n"
                          "Det kan gå segt för alla som ansluter till servern");
}

inline QString bothRolesTitle()
{
    return QStringLiteral("Både och?");
}

} // namespace roleTexts
