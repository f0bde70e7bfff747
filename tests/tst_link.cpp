// Linking through the settings dialog to the simulated module on a
// pseudo-terminal: fixed rate, AUTO search, silence, an unopenable port.
#include "e2esupport.h"

#include "app/uartdata.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QtTest>

namespace {
const QString kProbeHex = QStringLiteral("0003010000018427");

int countTx(Widget *w, const QString &hex)
{
    int n = 0;
    for (const QString &line : WidgetAccess::logLines(w))
        n += line.contains(QStringLiteral("->TX")) && line.endsWith(hex);
    return n;
}
} // namespace

class TestLink : public QObject, ModuleBench
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(start());
        sim->setAddress(7);
    }
    void cleanup() { stop(); }

    void fixedRateSendsOneProbeAndShowsTheAddress()
    {
        QSignalSpy heard(sim, &modsim::ModuleSim::requestHeard);
        link(QStringLiteral("9600"));
        QTRY_COMPARE(WidgetAccess::ui(w)->lineEditAddress->text(), QStringLiteral("7"));
        QCOMPARE(heard.count(), 1);
        QCOMPARE(heard.at(0).at(0).toByteArray().toHex(), kProbeHex.toLatin1());
        QCOMPARE(WidgetAccess::port(w)->baudRate(), 9600);
        // The watchdog runs its 500 ms and stays quiet.
        QTRY_VERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(countTx(w, kProbeHex), 1);
        QCOMPARE(WidgetAccess::logLines(w).size(), 2); // the probe and its reply
        QVERIFY(WidgetAccess::logLines(w).last().contains(QStringLiteral("->RX")));
        QVERIFY(WidgetAccess::logLines(w).last().endsWith(QStringLiteral("07030200077186")));
    }

    void silentModuleGivesOneErrorAfterHalfASecond()
    {
        sim->setSilent(true);
        QElapsedTimer clock;
        clock.start();
        link(QStringLiteral("9600"));
        QTRY_COMPARE(boxes->count(), 1);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 450 && elapsed < 1000, qPrintable(QString::number(elapsed)));
        QCOMPARE(boxes->seen().at(0).title, QStringLiteral("Error"));
        QCOMPARE(boxes->seen().at(0).text, QStringLiteral("Communication error!"));
        QCOMPARE(boxes->seen().at(0).parent, w);
        QVERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(countTx(w, kProbeHex), 1);
    }

    void autoSearchFindsTheRate_data()
    {
        QTest::addColumn<int>("moduleRate");
        QTest::addColumn<int>("probes");
        QTest::newRow("115200") << 115200 << 1;
        QTest::newRow("9600") << 9600 << 3;
        QTest::newRow("1200") << 1200 << 6;
    }
    void autoSearchFindsTheRate()
    {
        QFETCH(int, moduleRate);
        QFETCH(int, probes);
        sim->setBaudRate(moduleRate);
        WidgetAccess::ui(w)->comboBoxBaudRate->setCurrentIndex(1);
        QSignalSpy heard(sim, &modsim::ModuleSim::requestHeard);
        link(QStringLiteral("AUTO"));
        // Fastest first, 300 ms apart, until a rate answers.
        QTRY_VERIFY_WITH_TIMEOUT(!WidgetAccess::timerAutoUart(w)->isActive(), 4000);
        QCOMPARE(WidgetAccess::ui(w)->comboBoxBaudRate->currentText(), QString::number(moduleRate));
        QCOMPARE(UartData.BaudRate, moduleRate);
        QCOMPARE(WidgetAccess::port(w)->baudRate(), moduleRate);
        QCOMPARE(countTx(w, kProbeHex), probes);
        QCOMPARE(heard.count(), 1); // only the probe at the right rate is heard
        QCOMPARE(WidgetAccess::ui(w)->lineEditAddress->text(), QStringLiteral("7"));
        QVERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 0);
    }

    void autoSearchWithNoModule()
    {
        sim->setSilent(true);
        QElapsedTimer clock;
        clock.start();
        link(QStringLiteral("AUTO"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 4000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 1700 && elapsed < 2600, qPrintable(QString::number(elapsed)));
        QCOMPARE(boxes->seen().at(0).text, QStringLiteral("Communication error!"));
        QCOMPARE(countTx(w, kProbeHex), 6);
        QVERIFY(!WidgetAccess::timerAutoUart(w)->isActive());
        QVERIFY(WidgetAccess::port(w)->isOpen());
        QCOMPARE(WidgetAccess::port(w)->baudRate(), 1200);
        // No second message: the search is over and no watchdog is left.
        QVERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QCOMPARE(boxes->count(), 1);
    }

    void unopenablePort_data()
    {
        QTest::addColumn<QString>("baudItem");
        QTest::newRow("fixed rate") << "9600";
        QTest::newRow("AUTO") << "AUTO";
    }
    void unopenablePort()
    {
        QFETCH(QString, baudItem);
        const QString missing = QStringLiteral("/dev/hygrovane-no-such-port");
        linkTo(missing, baudItem);
        QTRY_COMPARE(boxes->count(), 1);
        QCOMPARE(boxes->seen().at(0).title, QStringLiteral("Error"));
        QVERIFY2(boxes->seen().at(0).text.startsWith(
                     QStringLiteral("The serial port %1 cannot be opened: ").arg(missing)),
                 qPrintable(boxes->seen().at(0).text));
        QVERIFY(boxes->seen().at(0).text.size()
                > QStringLiteral("The serial port %1 cannot be opened: ").arg(missing).size());
        QVERIFY(WidgetAccess::logLines(w).isEmpty());
        QVERIFY(!WidgetAccess::timerAutoUart(w)->isActive());
        QVERIFY(!WidgetAccess::timerResponse(w)->isActive());
        QVERIFY(!WidgetAccess::port(w)->isOpen());
    }

    void cancelLeavesThePortClosed()
    {
        link(QStringLiteral("9600"));
        QTRY_COMPARE(WidgetAccess::ui(w)->lineEditAddress->text(), QStringLiteral("7"));
        QSignalSpy heard(sim, &modsim::ModuleSim::requestHeard);
        boxes->setDialogHandler([](SerialportSettingDialog *d) {
            DialogAccess::ui(d)->pushButtonCancel->click();
        });
        WidgetAccess::ui(w)->pushButtonLink->click();
        QVERIFY(!WidgetAccess::port(w)->isOpen());
        QCOMPARE(heard.count(), 0);
        QCOMPARE(UartData.PortName, sim->portPath()); // the last choice is kept
    }

    void relinkingKeepsOneReceiveConnection()
    {
        link(QStringLiteral("9600"));
        link(QStringLiteral("9600"));
        QVERIFY(WidgetAccess::uartInit(w));
        QSerialPort *port = WidgetAccess::port(w);
        QVERIFY(QObject::disconnect(port, SIGNAL(readyRead()), w, SLOT(my_readuart())));
        QVERIFY(!QObject::disconnect(port, SIGNAL(readyRead()), w, SLOT(my_readuart())));
    }

    // The dialog on its own: what OK and Cancel record.
    void dialogRecords_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("baudItem");
        QTest::addColumn<int>("parity");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("parityStored");
        QTest::newRow("AUTO") << "/dev/ttyUSB0" << "AUTO" << 0 << true << 0 << 0;
        QTest::newRow("fixed 19200") << "/dev/ttyUSB0" << "19200" << 0 << true << 19200 << 0;
        QTest::newRow("ODD") << "/dev/ttyUSB0" << "9600" << 1 << true << 9600 << 1;
        QTest::newRow("EVEN") << "/dev/ttyUSB0" << "115200" << 2 << true << 115200 << 2;
        QTest::newRow("typed by-id link") << "/dev/serial/by-id/usb-FTDI-if00-port0" << "1200"
                                          << 0 << true << 1200 << 0;
        QTest::newRow("Cancel") << "/dev/ttyUSB0" << "19200" << 2 << false << 4800 << 1;
    }
    void dialogRecords()
    {
        QFETCH(QString, port);
        QFETCH(QString, baudItem);
        QFETCH(int, parity);
        QFETCH(bool, ok);
        QFETCH(int, baudRate);
        QFETCH(int, parityStored);
        UartData.PortName = QStringLiteral("before");
        UartData.BaudRate = 4800;
        UartData.Parity = 1;
        UartData.BaudIndex = 3;
        SerialportSettingDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Serial port"));
        QCOMPARE(dialog.size(), QSize(400, 235));
        // Every dialog starts the AUTO search afresh.
        QCOMPARE(UartData.BaudIndex, quint8(0));
        QCOMPARE(UartData.BaudCount, quint8(6));
        const qint32 order[6] = {115200, 19200, 9600, 4800, 2400, 1200};
        QVERIFY(std::equal(std::begin(order), std::end(order), std::begin(UartData.BaudList)));
        Ui::SerialportSettingDialog *ui = DialogAccess::ui(&dialog);
        QCOMPARE(ui->comboBoxBaud->currentText(), QStringLiteral("AUTO"));
        ui->comboBoxName->setEditText(port);
        ui->comboBoxBaud->setCurrentText(baudItem);
        ui->comboBoxParity->setCurrentIndex(parity);
        (ok ? ui->pushButtonOK : ui->pushButtonCancel)->click();
        QCOMPARE(dialog.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(UartData.PortName, ok ? port : QStringLiteral("before"));
        QCOMPARE(UartData.BaudRate, baudRate);
        QCOMPARE(UartData.Parity, parityStored);
        if (ok) {
            QCOMPARE(UartData.DataBits, 8);
            QCOMPARE(UartData.StopBits, 1);
        }
    }

    void dialogItems()
    {
        SerialportSettingDialog dialog;
        Ui::SerialportSettingDialog *ui = DialogAccess::ui(&dialog);
        auto items = [](QComboBox *box) {
            QStringList out;
            for (int i = 0; i < box->count(); ++i)
                out << box->itemText(i);
            return out;
        };
        QCOMPARE(items(ui->comboBoxBaud),
                 (QStringList{"AUTO", "1200", "2400", "4800", "9600", "19200", "115200"}));
        QCOMPARE(items(ui->comboBoxData), QStringList{"8"});
        QCOMPARE(items(ui->comboBoxParity), (QStringList{"NO", "ODD", "EVEN"}));
        QCOMPARE(items(ui->comboBoxStop), QStringList{"1"});
        QVERIFY(ui->comboBoxName->isEditable());
        // A pseudo-terminal is not enumerated; what is listed really opened.
        QVERIFY(!items(ui->comboBoxName).contains(sim->portPath()));
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
