// Continuous reading: one measurement request a second while the button says "Stop".
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "protocol/rtu.h"

#include <QTimer>

void Widget::PushButtonReadSlot()
{
    // The button's own text is the reading state, in whatever language it shows.
    if (ui->pushButtonRead->text() == tr("Read")) {
        if (line->claimed()) {
            showError(line->busyText());
            return;
        }
        missedPolls = 0;
        ui->pushButtonRead->setText(tr("Stop"));
        timerHumiture->start(1000);
    } else {
        ui->pushButtonRead->setText(tr("Read"));
        timerHumiture->stop();
    }
}

void Widget::ReadHumitureOrder()
{
    // Other requests restart this timer too; with reading off its ticks are idle.
    if (ui->pushButtonRead->text() == tr("Read"))
        return;
    timerHumiture->start(1000);

    const QString text = ui->lineEditAddress->text();
    const QString problem = addressError(text);
    if (!problem.isEmpty()) {
        stopReadingWith(problem);
        return;
    }
    UartData.Address = static_cast<quint8>(text.toInt(nullptr, 10));

    // comboBoxNum: "ALL" (or nothing chosen) reads five registers from 0;
    // every other item one register, the item's index minus one.
    // A poll still unanswered has had its second: this one takes its place.
    if (line->onLine() && line->onLine()->kind == LineRequest::Poll)
        pollUnanswered();
    const int index = ui->comboBoxNum->currentIndex();
    const quint16 selector = index <= 1 ? 0 : static_cast<quint16>(index - 1);
    const quint16 count = index <= 0 ? 5 : 1;
    SendRtuRequest(LineRequest::Poll, selector, UartData.Address, rtu::ReadRegisters, selector, count);
}

void Widget::stopReadingWith(const QString &message)
{
    // Stopped before the box opens, so its nested event loop brings no
    // second poll and no second box.
    timerHumiture->stop();
    showError(message);
    ui->pushButtonRead->setText(tr("Read"));
}

void Widget::pollUnanswered()
{
    // Values that stopped coming are not shown as if they were current.
    if (++missedPolls == 3) {
        ui->labelTemperature->setText(tr("Temperature:---"));
        ui->labelHumidity->setText(tr("Humidity:---"));
        ui->labelDewTemp->setText(tr("DewTemp:---"));
        ui->labelWetBulbTemp->setText(tr("WetBulbTemp:---"));
    }
    line->finish();
}
