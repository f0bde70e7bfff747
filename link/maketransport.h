#ifndef HYGROVANE_MAKETRANSPORT_H
#define HYGROVANE_MAKETRANSPORT_H

#include <QString>

class QObject;
class Transport;

// The transport a port name calls for.
Transport *makeTransport(const QString &name, QObject *parent);

#endif
