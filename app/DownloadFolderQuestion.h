#pragma once

#include <QString>

class Dialogs;
class DownloadFolderRule;
class Settings;

// Asks where received songs are to be stored until an acceptable answer is given, and
// remembers it. The default folder, when accepted, is created at once (mode 0755). Returns ""
// when the user gives up (an empty or cancelled answer): the program then ends and nothing is
// stored.
QString askDownloadFolder(Dialogs &dialogs, Settings &settings, const DownloadFolderRule &rule);
