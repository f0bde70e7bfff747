#include "link/maketransport.h"

#include "link/networktransport.h"
#include "link/rfc2217.h"
#include "link/serialtransport.h"

Transport *makeTransport(const QString &name, QObject *parent)
{
    if (rfc2217::isNetworkPort(name))
        return new NetworkTransport(name, parent);
    return new SerialTransport(name, parent);
}
