// Writing RTU requests and echoing the traffic into the log pane.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "app/clock.h"
#include "protocol/logframe.h"
#include "protocol/rtu.h"
#include "trend/csvfile.h"
#include "ui/savedialog.h"

#include "app/trace.h"

#include <QDir>
#include <QTimer>

quint16 Widget::CalcCRC16(const quint8 *data, quint16 length)
{
    const quint16 crc = rtu::crc16(reinterpret_cast<const char *>(data), length);
    return static_cast<quint16>((crc << 8) | (crc >> 8));
}

bool Widget::portReady()
{
    // Nothing is written, logged or awaited on a port that is not open; the
    // module is not to blame for it. Reading stops, so this is said once.
    if (!line->isOpen()) {
        stopReadingWith(tr("The serial port is not open. Press Link first."));
        return false;
    }
    if (line->claimed()) {
        stopReadingWith(line->busyText());
        return false;
    }
    return true;
}

bool Widget::SendRtuRequest(LineRequest::Kind kind, quint16 selector, quint8 address, quint8 function,
                            quint16 reg, quint16 countOrValue)
{
    if (!portReady())
        return false;
    LineRequest request;
    request.kind = kind;
    request.selector = selector;
    request.frame = rtu::buildRequest(address, function, reg, countOrValue);
    if (kind == LineRequest::BaudWrite)
        request.baudRate = rtu::baudRateForCode(countOrValue);
    line->submit(request);
    return true;
}

void Widget::LogFrame(const QString &text, bool isRx)
{
    ui->textBrowser->appendHtml(trafficLogLine(currentDateTime(), text, isRx));
}

void Widget::saveLogAs()
{
    const QString path = chooseSaveFile(this, tr("Save log as…"), tr("Text files (*.txt)"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    // An earlier log is replaced by a whole new one or not at all.
    QString error;
    if (!trend::writeWhole(path, ui->textBrowser->toPlainText().toUtf8() + '\n', &error))
        showError(tr("The file %1 cannot be written: %2").arg(QDir::toNativeSeparators(path), error));
}
