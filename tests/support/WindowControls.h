#pragma once
// A window's control by its object name: the windows keep their controls to themselves, and their
// tests reach them as an operator's tools would. A control that is not there fails the test.
#include <QObject>
#include <QString>

#include <stdexcept>
#include <string>

template <class T> T* Control(const QObject& Window, const char* Name) {
    T* c = Window.findChild<T*>(QString::fromLatin1(Name));
    if (!c)
        throw std::logic_error(std::string("the window has no control ") + Name);
    return c;
}
