#ifndef SETTINGSFILE_H
#define SETTINGSFILE_H

// The program's settings file as a user edits it by hand: the group
// "Network" with a chosen address and the lines given, in a folder of the
// test's own that goes with this object.

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

class SettingsFile
{
public:
    explicit SettingsFile(const QByteArray &networkLines)
    {
        const QString path = dir.filePath(QStringLiteral("Dorvantis.conf"));
        QFile file(path);
        if (!dir.isValid() || !file.open(QIODevice::WriteOnly))
            return;
        file.write("[Network]\nip=127.0.0.1\n" + networkLines + "\n");
        file.close();
        stored.reset(new QSettings(path, QSettings::IniFormat));
    }

    bool isValid() const { return stored != nullptr; }
    const QSettings &settings() const { return *stored; }

private:
    QTemporaryDir dir;
    std::unique_ptr<QSettings> stored;
};

#endif // SETTINGSFILE_H
