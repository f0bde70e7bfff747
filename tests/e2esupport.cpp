#include "e2esupport.h"

#include "app/uartdata.h"

bool ModuleBench::start()
{
    resetUartData();
    sim = new modsim::ModuleSim;
    if (!sim->start())
        return false;
    sim->setAddress(1);
    sim->setBaudRate(9600);
    sim->setValues(231, 456, 103, 158);
    w = new Widget;
    ui = WidgetAccess::ui(w);
    boxes = new MessageBoxCatcher;
    return true;
}

void ModuleBench::stop()
{
    delete boxes;
    delete w;
    delete sim;
    boxes = nullptr;
    w = nullptr;
    ui = nullptr;
    sim = nullptr;
}

void ModuleBench::linkTo(const QString &port, const QString &baudItem)
{
    boxes->setDialogHandler(chooseLink(port, baudItem));
    ui->pushButtonLink->click();
}

int ModuleBench::logCount(const char *direction) const
{
    int n = 0;
    for (const QString &line : WidgetAccess::logLines(w))
        n += line.contains(QLatin1String(direction));
    return n;
}

QString celsius(int tenths)
{
    return QString::number(tenths / 10.0, 'f', 1) + QChar(0x2103);
}

bool ModuleBench::labelsShow(qint16 temperature, quint16 humidity, qint16 dewPoint,
                             qint16 wetBulb) const
{
    return ui->labelTemperature->text() == QStringLiteral("Temperature:") + celsius(temperature)
        && ui->labelHumidity->text()
        == QStringLiteral("Humidity:") + QString::number(humidity / 10.0, 'f', 1) + QLatin1Char('%')
        && ui->labelDewTemp->text() == QStringLiteral("DewTemp:") + celsius(dewPoint)
        && ui->labelWetBulbTemp->text() == QStringLiteral("WetBulbTemp:") + celsius(wetBulb);
}
