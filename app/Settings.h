#pragma once

#include <QString>

#include <functional>
#include <memory>

class QSettings;

// The program's two remembered settings, "Main"/"LastSaveFolder" and "Main"/"ServerName",
// in the per-user store under the window caption, which is read at every access.
class Settings {
public:
    explicit Settings(std::function<QString()> applicationName);

    // Default: $HOME/TunveroMusic/
    QString lastSaveFolder() const;
    void setLastSaveFolder(const QString &folder);

    // Default: this computer's name.
    QString serverName() const;
    void setServerName(const QString &name);

    static QString defaultDownloadFolder();

    // The folder under the per-user config folder that holds the settings files.
    static QString folderName();

    // Where the settings of an application name are stored:
    // <config>/Tunvero/<application name>.conf
    static QString fileOf(const QString &applicationName);

    // Where earlier versions kept them: <config>/<application name>.conf
    static QString earlierFileOf(const QString &applicationName);

private:
    QString read(const QString &key, const QString &fallback) const;
    void write(const QString &key, const QString &value);
    std::unique_ptr<QSettings> open() const;

    std::function<QString()> m_applicationName;
};
