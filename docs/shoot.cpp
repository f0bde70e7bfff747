// Takes the README's pictures: the real main window after an hour of polls of
// an in-process simulated module, its trend window, the bus window over a
// simulated line, the commission window after a batch of three, and the Link
// dialog, and the Publish dialog connected to a broker, rendered off screen.
//   hygrovane-shoot OUT_DIR SUFFIX [CATALOGUE_DIR]
// writes OUT_DIR/main-SUFFIX.png, trend-, bus-, commission-, publish- and link-SUFFIX.png. With a
// catalogue folder the program starts there, as the Chinese launcher does, so
// that installCatalogue() finds Qm/Chinese.qm.
#include "tests/fixture.h"

#include "app/catalogue.h"
#include "app/clock.h"
#include "ui/serialportsettingdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QTableView>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QSerialPort>
#include <QTest>
#include <QTranslator>

#include <cstdio>

namespace {

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "hygrovane-shoot: %s\n", qPrintable(why));
    std::exit(1);
}

void save(QWidget *widget, const QString &path)
{
    if (!widget->grab().save(path))
        die(QStringLiteral("cannot write %1").arg(path));
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        die(QStringLiteral("usage: hygrovane-shoot OUT_DIR SUFFIX [CATALOGUE_DIR]"));
    const QString out = QDir(args[1]).absolutePath();
    QTranslator translator;
    if (args.size() > 3 && !(QDir::setCurrent(args[3]) && installCatalogue(&translator)))
        die(QStringLiteral("no Qm/Chinese.qm in %1").arg(args[3]));

    Bench b;
    if (!b.open())
        die(QStringLiteral("no pseudo-terminal for the simulated module"));
    b.w->show();
    const auto step = [&](const QString &given, const QString &expected) {
        b.given(given);
        if (!b.reach(expected, 30000))
            die(QStringLiteral("after %1: %2").arg(given, b.state(expected)));
    };
    // As a technician would: link, read the logger's number and settings.
    const QDateTime start = QDateTime::currentDateTime().addSecs(-3600);
    setClockForTesting([start] { return start; });
    step("serial=251206093015 mode=1 interval=60 module=1@115200 dialog=115200 press=pushButtonLink",
         "field=1; boxes=");
    step("press=pushButtonReadSN", "sn=251206093015; watch=0");
    step("press=pushButtonReadRecord", "ack=11; locked=00");
    // Then an hour of polls once a second, on a clock that runs as fast as the
    // line answers, while the module's values drift.
    b.sim->setDrift(false);
    b.given("press=pushButtonRead");
    for (int s = 0; s < 3600; ++s) {
        setClockForTesting([t = start.addSecs(s)] { return t; });
        b.sim->advanceDrift();
        QMetaObject::invokeMethod(b.w, "ReadHumitureOrder");
        QElapsedTimer waited; // not QTest::qWaitFor, which sleeps 10 ms a turn
        for (waited.start(); UartData.ReplyReceived == 0 && waited.elapsed() < 2000;)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (UartData.ReplyReceived == 0)
            die(QStringLiteral("poll %1 got no reply").arg(s));
    }
    QScrollBar *log = b.ui->textBrowser->verticalScrollBar();
    log->setValue(log->maximum());
    save(b.w, QStringLiteral("%1/main-%2.png").arg(out, args[2]));

    b.given("press=pushButtonTrend");
    auto *trend = b.w->findChild<QWidget *>(QStringLiteral("TrendWindow"));
    trend->findChild<QComboBox *>(QStringLiteral("comboBoxSpan"))->setCurrentIndex(1); // 1 h
    QTest::qWait(200);
    save(trend, QStringLiteral("%1/trend-%2.png").arg(out, args[2]));

    // The bus window over a line of several modules: a scan at every rate, two
    // modules at one address, then a watch in which one module falls silent.
    b.press("pushButtonRead");
    b.close();
    if (!b.open() || !b.linked())
        die(QStringLiteral("no link to the simulated line"));
    b.w->show();
    const auto tr = [](const char *context, const char *text, int n = -1) { return QCoreApplication::translate(context, text, nullptr, n); };
    // A button's text as the fixture reads it, without its mnemonic.
    const auto plain = [](const QString &text) { return QString(text).remove(QRegularExpression("\\(&.\\)")).remove('&'); };
    step("line=1,2,3,5,5,8,13@19200 press=pushButtonBus range=1-16 allRates press=pushButtonScan",
         "scan=" + plain(tr("BusWindow", "&Scan")) + "; progress=" + tr("BusWindow", "%1, %2").arg(tr("BusWindow", "%1 of %n addresses", 96).arg(96), tr("BusWindow", "%n modules found", 6)));
    // The port as a technician's adapter names it, in the status line.
    UartData.PortName = QStringLiteral("/dev/ttyUSB0");
    b.given("press=pushButtonTrend saveAs=@readings.csv press=pushButtonRecord press=pushButtonWatch until=polled=10 mute=1");
    QEventLoop silence; // three polls a module and more, the second one unanswered
    QTimer::singleShot(4500, &silence, &QEventLoop::quit);
    silence.exec();
    // The watch stopped, the record going on, and the menu of a module's row
    // open: the menu is a window of its own, drawn onto the bus window where
    // it opened.
    b.press("pushButtonWatch");
    auto *bus = b.w->findChild<QWidget *>(QStringLiteral("BusWindow"));
    auto *table = bus->findChild<QTableView *>(QStringLiteral("tableModules"));
    QPixmap shot;
    QTimer::singleShot(300, bus, [&] {
        QWidget *menu = QApplication::activePopupWidget();
        if (!menu)
            die(QStringLiteral("no menu on the bus table"));
        shot = bus->grab();
        QPainter painter(&shot);
        painter.drawPixmap(menu->mapToGlobal(QPoint()) - bus->mapToGlobal(QPoint()), menu->grab());
        painter.end();
        menu->close();
    });
    emit table->customContextMenuRequested(table->visualRect(table->model()->index(4, 2)).center());
    if (!shot.save(QStringLiteral("%1/bus-%2.png").arg(out, args[2])))
        die(QStringLiteral("cannot write the bus picture"));
    std::printf("%s\n", qPrintable(QStringLiteral("%1/bus-%2.png").arg(out, args[2])));

    // Commissioning three modules in turn: two go well, the third does not
    // acknowledge its setup.
    b.close();
    if (!b.open() || !b.linked())
        die(QStringLiteral("no link to the simulated module"));
    b.w->show();
    QTemporaryDir reports;
    const auto batch = [&](int done, int failed) {
        return "run=" + plain(tr("CommissionWindow", "&Commission")) + "; counter=" + tr("CommissionWindow", "This batch: %1 done, %2 failed").arg(done).arg(failed);
    };
    step("press=pushButtonCommission saveAs=" + reports.filePath("report.csv") + " press=pushButtonReport next=21 target=19200 "
         "module=3@9600 press=pushButtonRun", batch(1, 0));
    step("module=7@4800 press=pushButtonRun", batch(2, 0));
    step("module=5@9600 noSetupAck press=pushButtonRun", batch(2, 1));
    QWidget *commission = b.w->findChild<QWidget *>(QStringLiteral("CommissionWindow"));
    commission->findChild<QWidget *>(QStringLiteral("labelReport"))->setProperty("text", QStringLiteral("/home/technician/batch-2026-12.csv"));
    QTest::qWait(200);
    save(commission, QStringLiteral("%1/commission-%2.png").arg(out, args[2]));

    // The Publish dialog, connected to a broker started here on 127.0.0.1
    // (its settings kept apart from the real ones), the address shown as a
    // site's would be.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    MqttBroker broker;
    if (!broker.start(QStringLiteral("allow_anonymous true")))
        die(QStringLiteral("no Mosquitto broker: %1").arg(broker.log()));
    step(QStringLiteral("press=pushButtonBus press=pushButtonPublish broker=mqtt://127.0.0.1:%1 user=technician password=secret "
                        "topic=hygrovane/plant-room-3 discovery press=pushButtonConnect").arg(broker.port()),
         "connect=" + tr("PublishDialog", "&Disconnect").remove('&'));
    QWidget *publish = b.w->findChild<QWidget *>(QStringLiteral("PublishDialog"));
    publish->findChild<QLineEdit *>(QStringLiteral("lineEditBroker"))->setText(QStringLiteral("mqtt://broker.plant.lan:1883"));
    QTest::qWait(400);
    save(publish, QStringLiteral("%1/publish-%2.png").arg(out, args[2]));
    publish->close();

    // The dialog as it opens on Link, with the simulator's port typed in.
    b.press("pushButtonRead");
    b.port()->close();
    SerialportSettingDialog dialog(b.w);
    dialog.findChild<QComboBox *>(QStringLiteral("comboBoxName"))->setEditText(b.sim->portPath());
    dialog.show();
    QTest::qWait(200);
    save(&dialog, QStringLiteral("%1/link-%2.png").arg(out, args[2]));
    return 0;
}
