#include "link/porterror.h"

#include <QCoreApplication>

#include <cerrno>

namespace {
// The serial layer's own words for a lock file held by another program, as
// it shows them (in its own catalogue's language, if one is loaded). Not
// literals at the call: this catalogue has no text of the layer's.
const char *const kSerialLayer = "QSerialPort";
const char *const kLockRefused = "Permission error while locking the device";
} // namespace

// Texts are translated in the context "PortError", named in full at every
// text for the catalogue's tools to find.
QString portErrorText(QSerialPort::SerialPortError error, const QString &systemText)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QCoreApplication::translate("PortError", "no such port");
    case QSerialPort::PermissionError:
        // The layer says "permission" for a port another program holds too,
        // either by the system's lock or by its lock file.
        if (systemText == qt_error_string(EBUSY) || systemText == QCoreApplication::translate(kSerialLayer, kLockRefused))
            return QCoreApplication::translate("PortError", "the port is busy: another program has it open");
        return QCoreApplication::translate("PortError", "permission denied");
    case QSerialPort::OpenError:
        return QCoreApplication::translate("PortError", "the port is open already");
    case QSerialPort::ResourceError:
        return QCoreApplication::translate("PortError", "the port was removed or stopped answering");
    case QSerialPort::WriteError:
        return QCoreApplication::translate("PortError", "writing to the port failed");
    case QSerialPort::ReadError:
        return QCoreApplication::translate("PortError", "reading from the port failed");
    case QSerialPort::UnsupportedOperationError:
        return QCoreApplication::translate("PortError", "the port does not take these settings");
    case QSerialPort::TimeoutError:
        return QCoreApplication::translate("PortError", "the port did not answer in time");
    case QSerialPort::NotOpenError:
        return QCoreApplication::translate("PortError", "the port is not open");
    default: {
        const QString told = systemText.isEmpty() ? QCoreApplication::translate("PortError", "code %1").arg(int(error))
                                                  : systemText;
        return QCoreApplication::translate("PortError", "an unexpected error of the port (%1)").arg(told);
    }
    }
}
