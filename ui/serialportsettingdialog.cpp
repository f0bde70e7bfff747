#include "ui/serialportsettingdialog.h"
#include "ui_serialportsettingdialog.h"

#include "app/uartdata.h"
#include "link/rfc2217.h"
#include "protocol/rtu.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSettings>

namespace {
// Kept for this run of the tool only: nothing is written to disk.
QString lastPort;
int lastBaudItem = 0; // AUTO until a Link chose otherwise
// The network serial servers linked to last, newest first: kept on disk, as
// an address typed once a week is not remembered by the technician either.
const QString kServers = QStringLiteral("link/servers");
constexpr int kServersKept = 5;
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

    // Serial servers are typed, and the last few linked to are offered.
    for (const QString &server : QSettings(QStringLiteral("Hygrovane"), QStringLiteral("hygrovane")).value(kServers).toStringList())
        ui->comboBoxName->addItem(server);

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
    if (rfc2217::isNetworkPort(UartData.PortName)) {
        QSettings settings(QStringLiteral("Hygrovane"), QStringLiteral("hygrovane"));
        QStringList servers = settings.value(kServers).toStringList();
        servers.removeAll(UartData.PortName);
        servers.prepend(UartData.PortName);
        settings.setValue(kServers, QStringList(servers.mid(0, kServersKept)));
    }
    lastPort = UartData.PortName;
    lastBaudItem = ui->comboBoxBaud->currentIndex();
    accept();
}
