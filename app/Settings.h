#pragma once

#include <QString>

#include <functional>

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

private:
    QString read(const QString &key, const QString &fallback) const;
    void write(const QString &key, const QString &value);

    std::function<QString()> m_applicationName;
};
