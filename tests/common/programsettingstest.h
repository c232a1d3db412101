#ifndef PROGRAMSETTINGSTEST_H
#define PROGRAMSETTINGSTEST_H

// Base of the test classes that read and write the program's settings. The
// names main() gives the program decide where QSettings keeps them; QtTest
// calls initMain() before the application object exists, as main() names it,
// and the test runner gives each test a home of its own.

#include <QCoreApplication>
#include <QObject>

class ProgramSettingsTest : public QObject
{
public:
    static void initMain()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Veldara Orvik"));
        QCoreApplication::setApplicationName(QStringLiteral("Dorvantis"));
    }
};

#endif // PROGRAMSETTINGSTEST_H
