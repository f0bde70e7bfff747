// One technician's session from start to close, for memcheck: link, poll,
// address read and write, baud-rate change, serial number read and write,
// settings read, recording setup, Close. The window is the real one, the
// module the in-process simulator on a pty. Under valgrind everything runs
// many times slower while the window's own timers keep real time, so each
// step waits generously and a step that still misses its moment is reported
// rather than fatal: what matters here is what valgrind finds.
//
// Exit status: 0 when every step went as in real use, 3 when some did not.
#include "bench/benchutil.h"
#include "tests/e2esupport.h"

#include "app/uartdata.h"
#include "protocol/logger.h"

#include <QApplication>
#include <QDateTime>
#include <QSerialPort>

#include <cstdio>
#include <functional>

namespace {

constexpr int kStepTimeoutMs = 60000;

bool waitFor(const std::function<bool()> &done, int timeoutMs = kStepTimeoutMs)
{
    return bench::waitUntil(done, timeoutMs);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(bench::dropDebug);
    QApplication app(argc, argv);

    ModuleBench e2e;
    if (!e2e.start()) {
        std::fprintf(stderr, "simulated module: %s\n", qPrintable(e2e.sim->errorString()));
        return 2;
    }
    modsim::ModuleSim *sim = e2e.sim;
    Widget *w = e2e.w;
    Ui::Widget *ui = e2e.ui;
    MessageBoxCatcher *boxes = e2e.boxes;
    long heard = 0;
    QObject::connect(sim, &modsim::ModuleSim::requestHeard, [&] { ++heard; });
    w->show();

    int failed = 0;
    int steps = 0;
    auto step = [&](const char *name, bool ok, const QString &detail = QString()) {
        ++steps;
        if (!ok)
            ++failed;
        std::printf("step %-28s %s%s%s\n", name, ok ? "ok" : "FAILED",
                    detail.isEmpty() ? "" : ": ", qPrintable(detail));
        std::fflush(stdout);
    };
    auto boxTexts = [&] {
        QStringList texts;
        for (const auto &seen : boxes->seen())
            texts << seen.text;
        boxes->clear();
        return texts.join(QStringLiteral(" | "));
    };
    // The watchdog and the silence that ends a frame run out before the next step.
    auto settle = [&] {
        waitFor([&] { return !WidgetAccess::timerResponse(w)->isActive()
                             && !WidgetAccess::timerClear(w)->isActive(); });
        bench::idleFor(100);
    };
    auto pollOnce = [&](const char *name, qint16 t, quint16 h, qint16 d, qint16 wb) {
        sim->setValues(t, h, d, wb);
        ui->pushButtonRead->click();
        const bool reading = ui->pushButtonRead->text() == QLatin1String("Stop");
        const bool shown = waitFor([&] { return e2e.labelsShow(t, h, d, wb); });
        ui->pushButtonRead->click();
        settle();
        step(name, reading && shown && ui->pushButtonRead->text() == QLatin1String("Read"),
             boxTexts());
    };

    QTimer::singleShot(0, [&] {
        e2e.link(QStringLiteral("9600"));
        const bool linked = waitFor([&] { return ui->lineEditAddress->text() == QLatin1String("1"); });
        settle();
        step("link at 9600", linked && WidgetAccess::port(w)->isOpen(), boxTexts());

        pollOnce("poll ALL", 231, 456, 103, 158);

        sim->setAddress(42);
        ui->lineEditAddress->setText(QStringLiteral("junk"));
        ui->pushButtonAddressRead->click();
        const bool read = waitFor([&] { return ui->lineEditAddress->text() == QLatin1String("42"); });
        settle();
        step("address read", read, boxTexts());

        ui->lineEditAddress->setText(QStringLiteral("12"));
        ui->pushButtonAddress->click();
        const bool written = waitFor([&] { return sim->address() == 12 && UartData.Address == 12; });
        settle();
        step("address write", written, boxTexts());
        pollOnce("poll at the new address", 199, 300, 12, 80);

        ui->comboBoxBaudRate->setCurrentText(QStringLiteral("19200"));
        ui->pushButtonBaudRate->click();
        const bool moved = waitFor([&] {
            return sim->baudRate() == 19200 && WidgetAccess::port(w)->baudRate() == 19200;
        });
        settle();
        step("baud rate change to 19200", moved, boxTexts());
        pollOnce("poll at 19200", 250, 612, 170, 201);

        sim->setSerialBytes(QByteArray::fromHex("1a06010c1e2d"), 1);
        ui->lineEditSN->clear();
        ui->pushButtonReadSN->click();
        const bool serialShown = waitFor([&] {
            return ui->lineEditSN->text() == QLatin1String("1a06010c1e2d");
        });
        settle();
        step("serial number read", serialShown, boxTexts());

        sim->setSerialBytes(QByteArray(6, '\0'), 0);
        ui->lineEditSN->setText(QStringLiteral("260601123045"));
        ui->pushButtonMANU->click();
        const bool serialWritten = waitFor([&] {
            return sim->serialBytes() == QByteArray::fromHex("1a06010c1e2d");
        });
        settle();
        step("serial number write (MANU)", serialWritten, boxTexts());
        const QByteArray before = sim->serialBytes();
        ui->pushButtonAUTO->click();
        const bool autoWritten = waitFor([&] { return sim->serialBytes() != before; });
        settle();
        step("serial number write (AUTO)", autoWritten, boxTexts());

        sim->setRecordMode(logger::RecordFromStartTime);
        sim->setSampleInterval(60);
        UartData.SampleRate = 0;
        ui->pushButtonReadRecord->click();
        const bool settingsShown = waitFor([&] {
            return UartData.SampleRate == 60 && ui->recmodecomboBox->currentIndex() == 1;
        });
        waitFor([&] { return ui->pushButtonSetup->isEnabled(); });
        settle();
        step("settings read", settingsShown, boxTexts());

        ui->radioButtonRecord->click();
        ui->recmodecomboBox->setCurrentIndex(0);
        ui->sample_ratecomboBox->setCurrentIndex(logger::indexForSampleSeconds(300));
        ui->dateTimeEditstarttime->setDateTime(QDateTime::currentDateTime().addSecs(3600));
        ui->pushButtonSetup->click();
        const bool setUp = waitFor([&] {
            for (const auto &seen : boxes->seen()) {
                if (seen.text == QLatin1String("Setting succeed!"))
                    return true;
            }
            return false;
        });
        boxes->clear();
        waitFor([&] { return ui->pushButtonSetup->isEnabled(); });
        settle();
        step("recording setup", setUp && sim->recordMode() == logger::RecordAfterSetup
                                    && sim->sampleInterval() == 300);

        // Reading when the technician closes the window.
        const long heardBefore = heard;
        ui->pushButtonRead->click();
        waitFor([&] { return heard > heardBefore && UartData.ReplyReceived == 1; });
        ui->pushButtonClose->click(); // ends app.exec(), as in the program
    });
    const int status = app.exec();
    step("close ends the event loop", status == 0);

    e2e.stop(); // the program's window goes with main()'s scope
    std::printf("session: %d steps, %d failed\n", steps, failed);
    return failed ? 3 : 0;
}
