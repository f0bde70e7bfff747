#ifndef HYGROVANE_E2ESUPPORT_H
#define HYGROVANE_E2ESUPPORT_H

#include "testsupport.h"
#include "tools/modsim/modulesim.h"

// The real window beside a simulated module on a pseudo-terminal, with every
// message box caught. One per test function: create in init(), destroy in
// cleanup().
struct ModuleBench
{
    modsim::ModuleSim *sim = nullptr;
    Widget *w = nullptr;
    Ui::Widget *ui = nullptr;
    MessageBoxCatcher *boxes = nullptr;

    // A module at address 1, 9600 baud, with still values 23.1 ℃, 45.6 %,
    // 10.3 ℃ and 15.8 ℃. False when no pseudo-terminal could be had.
    bool start();
    void stop();

    // Presses Link and answers the dialog with the module's port and the
    // given baud-rate item ("9600", "AUTO", ...).
    void link(const QString &baudItem) { linkTo(sim->portPath(), baudItem); }
    void linkTo(const QString &port, const QString &baudItem);

    // Traffic-log entries of one direction ("->TX" or "->RX").
    int logCount(const char *direction) const;
    // The four labels show these register values (in tenths).
    bool labelsShow(qint16 temperature, quint16 humidity, qint16 dewPoint, qint16 wetBulb) const;
};

QString celsius(int tenths);

#endif
