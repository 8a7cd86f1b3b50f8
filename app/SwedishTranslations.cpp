#include "app/SwedishTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

// Qt 6 asks for the standard button texts under "QPlatformTheme", while the Swedish
// catalogue Debian ships still files them under "QDialogButtonBox".
class SwedishTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *sourceText, const char *disambiguation, int n) const override
    {
        QString text = QTranslator::translate(context, sourceText, disambiguation, n);
        if (text.isEmpty() && qstrcmp(context, "QPlatformTheme") == 0)
            text = QTranslator::translate("QDialogButtonBox", sourceText, disambiguation, n);
        return text;
    }
};

} // namespace

bool installSwedishTranslations(QCoreApplication &app)
{
    auto translator = std::make_unique<SwedishTranslator>(&app);
    if (!translator->load(QStringLiteral("qt_sv"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    // The application owns it from here on.
    return QCoreApplication::installTranslator(translator.release());
}
