#include "link/maketransport.h"

#include "link/serialtransport.h"

Transport *makeTransport(const QString &name, QObject *parent)
{
    return new SerialTransport(name, parent);
}
