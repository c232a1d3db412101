#ifndef PROGRAMIDENTITY_H
#define PROGRAMIDENTITY_H

// The names main() gives the program. They decide where QSettings keeps the
// settings, so a test that gives the application the same names reads and
// writes what the program would, below the home the test runner gives it.
// Meant for a test class's static initMain(), which runs before the
// application object exists, as in main().

#include <QCoreApplication>

inline void useProgramIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Veldara Orvik"));
    QCoreApplication::setApplicationName(QStringLiteral("Dorvantis"));
}

#endif // PROGRAMIDENTITY_H
