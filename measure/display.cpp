// Turning the stored register values into the four label texts.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/clock.h"
#include "app/uartdata.h"
#include "publish/publisher.h"
#include "ui/trendwindow.h"

#include <cmath>

namespace {

const QChar kCelsius(0x2103);

// Tenths to "25.0": QString::number ignores the locale, so the decimal
// point stays '.' on every system.
QString tenths(int value)
{
    return QString::number(value / 10.0, 'f', 1);
}

} // namespace

void Widget::DisplayHumiture(quint8 selector)
{
    if (selector > 5)
        return;
    const QString temperature = tr("Temperature:") + tenths(UartData.Temperature) + kCelsius;
    const QString humidity = tr("Humidity:") + tenths(UartData.Humidity) + QLatin1Char('%');
    const QString dewPoint = tr("DewTemp:") + tenths(UartData.DewTemp) + kCelsius;
    const QString wetBulb = tr("WetBulbTemp:") + tenths(UartData.WetBulbTemp) + kCelsius;

    ui->labelTemperature->setText(selector <= 1 ? temperature : tr("Temperature:---"));
    ui->labelHumidity->setText(selector == 0 || selector == 2 ? humidity : tr("Humidity:---"));
    if (selector == 0 || selector == 3)
        ui->labelDewTemp->setText(dewPoint);
    else
        ui->labelDewTemp->setText(selector <= 2 ? tr("DewTemp:---") : tr("DewTemp::---"));
    ui->labelWetBulbTemp->setText(selector == 0 || selector == 4 ? wetBulb : tr("WetBulbTemp:---"));
    noteReading(selector);
}

void Widget::noteReading(quint8 selector)
{
    // What the reply carried: all four values, or the one asked for; a
    // status reply carries none.
    if (selector > 4)
        return;
    const double carried[trend::SeriesCount] = {UartData.Temperature / 10.0, UartData.Humidity / 10.0,
                                                UartData.DewTemp / 10.0, UartData.WetBulbTemp / 10.0};
    trend::Values values;
    for (int s = 0; s < trend::SeriesCount; ++s)
        values[s] = selector == 0 || selector == s + 1 ? carried[s] : std::nan("");
    const QDateTime now = currentDateTime();
    keepReading(now, UartData.Address, values);
    mqttPublisher->addReading(now, UartData.Address, values);
}

void Widget::keepReading(const QDateTime &when, quint8 address, const trend::Values &values)
{
    histories[address].add(when.toMSecsSinceEpoch(), values);
    if (trendWindow)
        trendWindow->readingAdded(when, address, values);
}
