#pragma once

#include <QApplication>

// The application object exists for every test of the program (QtTestApp.cpp).
inline QApplication& TestApp()
{
    return *qApp;
}
