#include "app/AppStyle.h"
#include "app/MainWindow.h"
#include "app/SwedishTranslations.h"
#include "platform/QtDialogs.h"

#include <QApplication>
#include <QDir>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Lets the desktop match the window with the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("se.tunvero.Tunvero"));
    installSwedishTranslations(app);
    applyAppStyle(app);

    QtDialogs dialogs;
    MainWindow window(dialogs, DownloadFolderRule(QDir::homePath()));
    dialogs.setParent(&window);
    if (!window.Form_Load())
        return 0;
    window.show();
    return app.exec();
}
