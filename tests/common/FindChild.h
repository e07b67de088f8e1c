#pragma once
// A window's control by its object name, for tests that look at a window from outside. A missing
// control fails the test with its name instead of crashing it.
#include <QObject>
#include <QString>

#include <stdexcept>

template <class T>
T* FindChild(const QObject* parent, const QString& name)
{
    T* child = parent ? parent->findChild<T*>(name) : nullptr;
    if (!child)
        throw std::runtime_error("no child named " + name.toStdString());
    return child;
}
