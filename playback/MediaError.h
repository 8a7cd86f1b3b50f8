#pragma once

#include <QString>

// The media service's error codes; 0 is success. Each code has its own text (mediaErrorText).
namespace MediaError {

enum Code : int {
    Success = 0,
    UnrecognizedCommand = 261,
    DeviceNotOpen = 263,
    UnsupportedDeviceType = 266,
    UnrecognizedKeyword = 270,
    MissingParameter = 273,
    BadInteger = 274,
    FileNotFound = 275,
    OutOfRange = 282,
    DuplicateAlias = 289,
    BadTimeFormat = 293,
    CannotPlayFile = 296,
    // Codes of Tunvero's own service, past the range above.
    NoShortPath = 512,
    OutputUnavailable = 513,
};

QString text(int code);

} // namespace MediaError
