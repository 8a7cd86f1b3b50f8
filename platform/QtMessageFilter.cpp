#include "platform/QtMessageFilter.h"

#include <QString>
#include <QtGlobal>

namespace QtMessageFilter {

namespace {

QtMessageHandler previous = nullptr;

// Without a desktop session Qt makes a private runtime folder of its own and says so; a
// platform that cannot pass a window's size limits on (offscreen) says so at every resize.
bool isNoise(QtMsgType type, const QString &message)
{
    return type == QtWarningMsg &&
           (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to ")) ||
            message == QLatin1String("This plugin does not support propagateSizeHints()"));
}

void filter(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!isNoise(type, message))
        previous(type, context, message);
}

} // namespace

void install()
{
    if (!previous)
        previous = qInstallMessageHandler(filter);
}

} // namespace QtMessageFilter
