#include "app/Settings.h"

#include "core/ModGlobal.h"

#include <QDir>
#include <QSettings>

namespace {

const QString mainSection = QStringLiteral("Main");

} // namespace

Settings::Settings(std::function<QString()> applicationName) : m_applicationName(std::move(applicationName)) {}

QString Settings::defaultDownloadFolder()
{
    return QDir::homePath() + QStringLiteral("/TunveroMusic/");
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

QString Settings::read(const QString &key, const QString &fallback) const
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, m_applicationName());
    store.beginGroup(mainSection);
    return store.value(key, fallback).toString();
}

void Settings::write(const QString &key, const QString &value)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, m_applicationName());
    store.beginGroup(mainSection);
    store.setValue(key, value);
}
