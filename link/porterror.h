#ifndef HYGROVANE_PORTERROR_H
#define HYGROVANE_PORTERROR_H

#include <QSerialPort>
#include <QString>

// Why a port could not be opened or stopped working, in the tool's own words
// and language, one text a kind of failure. The serial layer's own reason is
// English, and for some failures only "Unknown error": it is shown only where
// no kind of ours fits, and then never alone.
QString portErrorText(QSerialPort::SerialPortError error, const QString &systemText);

#endif
