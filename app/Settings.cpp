#include "app/Settings.h"

#include "core/ModGlobal.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace {

const QString mainSection = QStringLiteral("Main");

std::unique_ptr<QSettings> storeOf(const QString &applicationName)
{
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, Settings::folderName(),
                                             applicationName);
    // No shared "Tunvero.conf" beside the folder is ever consulted.
    store->setFallbacksEnabled(false);
    return store;
}

std::unique_ptr<QSettings> earlierStoreOf(const QString &applicationName)
{
    // Earlier versions named only the application, so its file sat at the top of the config folder.
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, applicationName);
}

// Copies the values of an earlier version's file into the new place once, so that a stored
// server name or folder is not lost; the old file is left as it was.
void takeOverEarlierFile(const QString &applicationName, QSettings &store)
{
    if (QFileInfo::exists(store.fileName()))
        return;
    const auto earlier = earlierStoreOf(applicationName);
    if (!QFileInfo::exists(earlier->fileName()))
        return;
    const QStringList keys = earlier->allKeys();
    for (const QString &key : keys)
        store.setValue(key, earlier->value(key));
    store.sync();
}

} // namespace

Settings::Settings(std::function<QString()> applicationName) : m_applicationName(std::move(applicationName))
{
}

QString Settings::defaultDownloadFolder()
{
    return QDir::homePath() + QStringLiteral("/TunveroMusic/");
}

QString Settings::folderName()
{
    return QStringLiteral("Tunvero");
}

QString Settings::fileOf(const QString &applicationName)
{
    return storeOf(applicationName)->fileName();
}

QString Settings::earlierFileOf(const QString &applicationName)
{
    return earlierStoreOf(applicationName)->fileName();
}

QString Settings::lastSaveFolder() const
{
    return read(QStringLiteral("LastSaveFolder"), defaultDownloadFolder());
}

void Settings::setLastSaveFolder(const QString &folder)
{
    write(QStringLiteral("LastSaveFolder"), folder);
}

QString Settings::serverName() const
{
    return read(QStringLiteral("ServerName"), modGlobal::ComputerName());
}

void Settings::setServerName(const QString &name)
{
    write(QStringLiteral("ServerName"), name);
}

std::unique_ptr<QSettings> Settings::open() const
{
    const QString name = m_applicationName();
    auto store = storeOf(name);
    takeOverEarlierFile(name, *store);
    return store;
}

QString Settings::read(const QString &key, const QString &fallback) const
{
    const auto store = open();
    store->beginGroup(mainSection);
    return store->value(key, fallback).toString();
}

void Settings::write(const QString &key, const QString &value)
{
    const auto store = open();
    store->beginGroup(mainSection);
    store->setValue(key, value);
}
