#ifndef ADDCOLUMNS_H
#define ADDCOLUMNS_H

// Declares data columns of one type, in the order named.

#include <QTest>

#include <initializer_list>

template <typename T>
void addColumns(std::initializer_list<const char *> names)
{
    for (const char *name : names)
        QTest::addColumn<T>(name);
}

#endif // ADDCOLUMNS_H
