#include "ui/serialportsettingdialog.h"
#include "ui_serialportsettingdialog.h"

#include "app/uartdata.h"
#include "protocol/rtu.h"

#include <QSerialPort>
#include <QSerialPortInfo>

namespace {
// Kept for this run of the tool only: nothing is written to disk.
QString lastPort;
int lastBaudItem = 0; // AUTO until a Link chose otherwise
} // namespace

SerialportSettingDialog::SerialportSettingDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::SerialportSettingDialog)
{
    ui->setupUi(this);
    setWindowTitle(tr("Serial port"));

    // Only ports that really open are offered; one held by another program
    // would only fail later, at the first request.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        QSerialPort probe;
        probe.setPort(info);
        if (probe.open(QIODevice::ReadWrite)) {
            ui->comboBoxName->addItem(info.portName());
            probe.close();
        }
    }

    std::copy(std::begin(rtu::SearchRates), std::end(rtu::SearchRates), std::begin(UartData.BaudList));
    UartData.BaudIndex = 0;
    UartData.BaudCount = 6;

    // What the last Link in this run chose is offered again: the port typed
    // a minute ago need not be typed twice.
    ui->comboBoxBaud->setCurrentIndex(lastBaudItem);
    if (!lastPort.isEmpty())
        ui->comboBoxName->setCurrentText(lastPort);

    connect(ui->pushButtonOK, SIGNAL(clicked()), this, SLOT(ClickedOKSlots()));
    connect(ui->pushButtonCancel, SIGNAL(clicked()), this, SLOT(ClickedCancelSlots()));
}

SerialportSettingDialog::~SerialportSettingDialog()
{
    delete ui;
}

void SerialportSettingDialog::ClickedCancelSlots()
{
    reject();
}

void SerialportSettingDialog::ClickedOKSlots()
{
    // The name field is editable: a typed path (a by-id link, a virtual
    // port) is taken as it stands.
    UartData.PortName = ui->comboBoxName->currentText();
    UartData.BaudRate = ui->comboBoxBaud->currentIndex() == 0
        ? 0
        : ui->comboBoxBaud->currentText().toInt(nullptr, 10);
    UartData.Parity = ui->comboBoxParity->currentIndex();
    UartData.DataBits = ui->comboBoxData->currentText().toInt(nullptr, 10);
    UartData.StopBits = ui->comboBoxStop->currentText().toInt(nullptr, 10);
    lastPort = UartData.PortName;
    lastBaudItem = ui->comboBoxBaud->currentIndex();
    accept();
}
