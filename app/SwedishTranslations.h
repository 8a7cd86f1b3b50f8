#pragma once

class QCoreApplication;

// Loads Qt's own Swedish texts, so standard buttons read "Ja", "Nej", "OK", "Avbryt".
// Returns false when the translation file is not installed.
bool installSwedishTranslations(QCoreApplication &app);
