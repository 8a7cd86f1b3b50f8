#include "MediaError.h"

namespace MediaError {

QString text(int code)
{
    switch (code) {
    case Success:
        return QStringLiteral("Kommandot utfördes.");
    case UnrecognizedCommand:
        return QStringLiteral("Kommandot känns inte igen.");
    case DeviceNotOpen:
        return QStringLiteral("Enheten är inte öppen eller känns inte igen.");
    case UnsupportedDeviceType:
        return QStringLiteral("Enhetstypen stöds inte.");
    case UnrecognizedKeyword:
        return QStringLiteral("Kommandot innehåller en okänd parameter.");
    case MissingParameter:
        return QStringLiteral("En parameter saknas i kommandot.");
    case BadInteger:
        return QStringLiteral("Ett heltal förväntades i kommandot.");
    case FileNotFound:
        return QStringLiteral("Filen hittades inte.");
    case OutOfRange:
        return QStringLiteral("Värdet ligger utanför det tillåtna intervallet.");
    case DuplicateAlias:
        return QStringLiteral("Aliaset används redan.");
    case BadTimeFormat:
        return QStringLiteral("Tidsformatet stöds inte.");
    case CannotPlayFile:
        return QStringLiteral("Filen går inte att spela upp.");
    case NoShortPath:
        return QStringLiteral("Ingen kort sökväg till filen kunde skapas.");
    case OutputUnavailable:
        return QStringLiteral("Ljudutgången kunde inte startas.");
    default:
        return QStringLiteral("Okänt fel i mediatjänsten (kod %1).").arg(code);
    }
}

} // namespace MediaError
