#include "fixture.h"

#include "masters.h"
#include "ser2net.h"

#include "app/clock.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"
#include "ui/serialportsettingdialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTcpServer>
#include <QLineEdit>
#include <QTableView>
#include <QFileDialog>
#include <QInputDialog>
#include <QClipboard>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>

using namespace QtCharts;
#include <QMessageBox>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <csignal>
#include <signal.h>
#include <sys/resource.h>
#include <utility>

namespace {
int traces = 0;
QtMessageHandler testHandler = nullptr;
void countTraces(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    traces += type == QtDebugMsg;
    testHandler(type, context, text);
}
} // namespace

bool inThisPart()
{
    static const QByteArray part = qgetenv("HYGROVANE_PART");
    static int cases = 0;
    const int of = qMax(1, part.mid(part.indexOf('/') + 1).toInt());
    return part.isEmpty() || (cases++ % of) == part.left(part.indexOf('/')).toInt();
}

bool Bench::open(bool module)
{
    close();
    UartData = UartDataRecord();
    traces = 0;
    testHandler = qInstallMessageHandler(countTraces);
    if (module) {
        sim = new modsim::ModuleSim;
        if (!sim->start())
            return false;
        sim->setValues(231, 456, 103, 158);
        for (auto signal : {&modsim::ModuleSim::requestHeard, &modsim::ModuleSim::loggerFrameHeard})
            QObject::connect(sim, signal, [this](const QByteArray &frame) { heard << frame.toHex(' '); });
    }
    w = new Widget;
    ui = WidgetAccess::ui(w);
    m_baudItem = "9600", m_port = sim ? sim->portPath() : QString();
    qApp->installEventFilter(this);
    return true;
}

// A modal window runs an event loop of its own: once it shows, the answer is
// given from inside that loop, and the slot that opened the window goes on.
bool Bench::eventFilter(QObject *object, QEvent *event)
{
    auto *modal = event->type() == QEvent::Show && object->isWidgetType() ? static_cast<QWidget *>(object) : nullptr;
    if (modal && modal->isModal()) {
        QTimer::singleShot(std::exchange(m_hold, 0), modal, [this, modal] {
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                boxes << box->windowTitle() + ": " + box->text() + (UartData.RxBuffer.isEmpty() ? "" : " (inside a reply)");
                const bool no = m_decline && (box->standardButtons() & QMessageBox::No);
                m_decline = m_decline && !no;
                // A question is answered by its button, as QMessageBox::question reads the one clicked.
                if (QAbstractButton *answer = box->button(no ? QMessageBox::No : QMessageBox::Yes))
                    answer->click();
                else
                    box->done(QMessageBox::Ok);
            } else if (auto *files = qobject_cast<QFileDialog *>(modal)) {
                m_suggested = QFileInfo(files->selectedFiles().value(0)).fileName();
                files->selectFile(m_saveAs);
                files->setOption(QFileDialog::DontConfirmOverwrite); // as if replacing a file were confirmed
                QMetaObject::invokeMethod(files, "accept");
                m_saveAs = files->selectedFiles().value(0, m_saveAs); // with the suffix the dialog added
            } else if (auto *question = qobject_cast<QInputDialog *>(modal)) {
                answer(question);
            } else if (qobject_cast<SerialportSettingDialog *>(modal) && m_baudItem == "offered") {
                modal->findChild<QPushButton *>("pushButtonOK")->click(); // as the dialog offers it
            } else if (qobject_cast<SerialportSettingDialog *>(modal)) {
                modal->findChild<QComboBox *>("comboBoxName")->setEditText(m_port);
                modal->findChild<QComboBox *>("comboBoxBaud")->setCurrentText(m_baudItem);
                modal->findChild<QPushButton *>(m_baudItem == "cancel" ? "pushButtonCancel" : "pushButtonOK")->click();
            }
        });
    }
    return false;
}

// Answers in turn ("7,5"): a question that stays open, saying why, gets the next.
void Bench::answer(QInputDialog *question)
{
    const QString now = m_answer.section(',', 0, 0);
    if (m_answer.contains(','))
        m_answer = m_answer.section(',', 1);
    if (question->inputMode() == QInputDialog::IntInput)
        question->setIntValue(now.toInt());
    else
        question->setTextValue(now);
    question->done(now == QLatin1String("cancel") ? QDialog::Rejected : QDialog::Accepted);
    if (question->isVisible()) {
        boxes << "Asked again: " + question->labelText().section('\n', 0, 0);
        QTimer::singleShot(0, question, [this, question] { answer(question); });
    }
}

void Bench::close()
{
    if (testHandler)
        qInstallMessageHandler(testHandler), testHandler = nullptr;
    qApp->removeEventFilter(this);
    setClockForTesting({});
    const rlimit anySize{RLIM_INFINITY, RLIM_INFINITY}; // what "full" took
    setrlimit(RLIMIT_FSIZE, &anySize);
    m_holder.reset();
    delete w;
    delete server;
    delete gateway;
    delete sim;
    w = nullptr, ui = nullptr, sim = nullptr, server = nullptr, gateway = nullptr;
    boxes.clear(), heard.clear();
}

// QTest's own waits sleep 10 ms between rounds of events, which a scan's
// 20 ms wait for an answer cannot afford; an event loop hands each event on
// as it comes.
bool Bench::reach(const QString &expected, int timeoutMs)
{
    QEventLoop loop;
    QTimer check, deadline;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (state(expected) == expected)
            loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(20);
    deadline.start(timeoutMs);
    if (state(expected) != expected)
        loop.exec();
    return state(expected) == expected;
}

bool Bench::linked()
{
    m_baudItem = "9600", m_port = sim->portPath();
    ui->pushButtonLink->click();
    const bool shown = QTest::qWaitFor([this] { return ui->lineEditAddress->text() == QString::number(sim->address()); }, 3000);
    timer(WidgetAccess::Response)->stop();
    timer(WidgetAccess::Humiture)->stop();
    heard.clear();
    return shown;
}

void Bench::press(const QString &button)
{
    if (button.isEmpty()) // the scene is all
        return;
    if (button != QLatin1String("poll")) {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *push = window->findChild<QAbstractButton *>(button))
                return push->click();
        }
        return w->findChild<QAction *>(button)->trigger();
    }
    if (ui->pushButtonRead->text() == QLatin1String("Read"))
        ui->pushButtonRead->click();
    QMetaObject::invokeMethod(w, "ReadHumitureOrder");
}

// Words in order, each "key" or "key=value".
void Bench::given(const QString &spec)
{
    using Set = std::function<void(Bench &, const QString &)>;
    static const QMap<QString, Set> words{
        {"linked", [](Bench &b, const QString &) { if (!b.linked()) qFatal("given: no address shown"); }},
        // the module
        {"module", [](Bench &b, const QString &v) { // address, or address@rate
             b.sim->setAddress(quint8(v.section('@', 0, 0).toInt()));
             b.sim->setBaudRate(v.contains('@') ? v.section('@', 1).toInt() : b.sim->baudRate());
         }},
        {"silent", [](Bench &b, const QString &) { b.sim->setSilent(true); }},
        {"delay", [](Bench &b, const QString &v) { b.sim->setReplyDelay(v.toInt()); }},
        {"refuses", [](Bench &b, const QString &) { b.sim->module(0)->setRefusing(true); }},
        {"line", [](Bench &b, const QString &v) { // modules as the simulator's --address takes them, the nth at 23.1 + n/10 ℃
             b.sim->setModules(v);
             for (int i = 0; i < b.sim->moduleCount(); ++i)
                 b.sim->module(i)->setValues(qint16(231 + i), 456, 103, 158);
         }},
        {"mute", [](Bench &b, const QString &v) { b.sim->module(v.toInt())->setSilent(true); }}, // a module by its place in the line
        {"unmute", [](Bench &b, const QString &v) { b.sim->module(v.toInt())->setSilent(false); }},
        {"slow", [](Bench &b, const QString &v) { b.sim->module(v.section(':', 0, 0).toInt())->setAnswerDelay(v.section(':', 1).toInt()); }}, // place:ms
        {"switchDelay", [](Bench &b, const QString &v) { // ms for the line, or place:ms for one module
             if (v.contains(':'))
                 return b.sim->module(v.section(':', 0, 0).toInt())->setSwitchDelay(v.section(':', 1).toInt());
             b.sim->setSwitchDelay(v.toInt());
         }},
        // the line as a USB adapter on a two-wire pair shows it
        {"echo", [](Bench &b, const QString &v) { b.sim->setEcho(v != "off"); }}, // echo=off: the adapter stops echoing
        {"stray", [](Bench &b, const QString &) { b.sim->setStray(true); }},
        {"pace", [](Bench &b, const QString &) { b.sim->setPace(true); }},
        {"latency", [](Bench &b, const QString &v) { b.sim->setLatency(v.toInt()); }},
        {"split", [](Bench &b, const QString &v) { b.sim->setSplit(v.section(':', 0, 0).toInt(), v.section(':', 1).toInt()); }}, // pieces:ms apart
        {"noise", [](Bench &b, const QString &) { b.sim->setNoise(true); }},
        {"busy", [](Bench &b, const QString &v) { // the window, for MS once the module's next reply is on the line
             auto once = std::make_shared<QMetaObject::Connection>();
             *once = QObject::connect(b.sim, &modsim::ModuleSim::replySent, b.sim, [once, ms = v.toULong()] {
                 QObject::disconnect(*once);
                 QThread::msleep(ms);
             });
         }},
        // the bus window's controls
        {"range", [](Bench &b, const QString &v) {
             b.bus<QSpinBox>("spinBoxFrom")->setValue(v.section('-', 0, 0).toInt());
             b.bus<QSpinBox>("spinBoxTo")->setValue(v.section('-', 1).toInt());
         }},
        {"allRates", [](Bench &b, const QString &) { b.bus<QCheckBox>("checkBoxAllRates")->setChecked(true); }},
        {"within", [](Bench &b, const QString &v) { b.bus<QSpinBox>("spinBoxAnswerMs")->setValue(v.toInt()); }}, // Answer within, ms
        {"noSetupAck", [](Bench &b, const QString &) { b.sim->module(0)->setSetupUnacknowledged(true); }},
        // the commission window's plan: the next address and the rate to leave the module at
        {"next", [](Bench &b, const QString &v) { b.commission<QSpinBox>("spinBoxNextAddress")->setValue(v.toInt()); }},
        {"target", [](Bench &b, const QString &v) { b.commission<QComboBox>("comboBoxTargetBaud")->setCurrentText(v); }},
        {"untick", [](Bench &b, const QString &v) { // a row of the table
             QAbstractItemModel *m = b.bus<QTableView>("tableModules")->model();
             m->setData(m->index(v.toInt(), 0), Qt::Unchecked, Qt::CheckStateRole);
         }},
        // the publish dialog's fields
        {"broker", [](Bench &b, const QString &v) { b.publish<QLineEdit>("lineEditBroker")->setText(v); }},
        {"user", [](Bench &b, const QString &v) { b.publish<QLineEdit>("lineEditUser")->setText(v); }},
        {"password", [](Bench &b, const QString &v) { b.publish<QLineEdit>("lineEditPassword")->setText(v); }},
        {"topic", [](Bench &b, const QString &v) { b.publish<QLineEdit>("lineEditTopic")->setText(v); }},
        {"discovery", [](Bench &b, const QString &) { b.publish<QCheckBox>("checkBoxDiscovery")->setChecked(true); }},
        {"loggerSilent", [](Bench &b, const QString &) { b.sim->module(0)->setLoggerSilent(true); }},
        {"serial", [](Bench &b, const QString &v) { b.sim->setSerialBytes(QByteArray::fromHex(v.toLatin1())); }},
        {"long", [](Bench &b, const QString &) { b.sim->setLongFrame(true); }},
        {"mode", [](Bench &b, const QString &v) { b.sim->setRecordMode(v.toInt()); }},
        {"interval", [](Bench &b, const QString &v) { b.sim->setSampleInterval(quint16(v.toInt())); }},
        {"dies", [](Bench &b, const QString &) { // the line, at the module's next reply or a byte it cannot hear
             for (auto signal : {&modsim::ModuleSim::replySent, &modsim::ModuleSim::discarded})
                 QObject::connect(b.sim, signal, b.sim, &modsim::ModuleSim::stop, Qt::QueuedConnection);
         }},
        // the technician
        {"dialog", [](Bench &b, const QString &v) { b.m_baudItem = v; }}, // a baud item, or cancel
        {"port", [](Bench &b, const QString &v) { b.m_port = v; }},
        {"alias", [](Bench &b, const QString &v) { QFile::link(b.sim->portPath(), b.m_port = b.m_dir.filePath(v)); }}, // the port, which Link then names
        {"held", [](Bench &b, const QString &v) { // as alias, that port held open by another program
             b.given("alias=" + v);
             b.m_holder = std::make_unique<QSerialPort>(b.m_port);
             if (!b.m_holder->open(QIODevice::ReadWrite))
                 qFatal("given: %s not held", qPrintable(b.m_port));
         }},
        {"server", [](Bench &b, const QString &v) { // raw or rfc2217: a ser2net in front of the line, which Link then names
             if (!b.server)
                 b.server = new Ser2net;
             if (!b.server->start(b.sim->portPath(), v == "raw" ? Ser2net::Raw : Ser2net::Rfc2217))
                 qWarning("ser2net: %s", qPrintable(b.server->log()));
             b.m_port = b.server->url();
         }},
        {"serverStop", [](Bench &b, const QString &) { b.server->stop(); }},
        {"gateway", [](Bench &b, const QString &v) { // its options ('_' for a blank; 9600 baud and 100 ms to answer unless they say): a gateway
             QStringList addresses; // watching the line and sharing it, Link then naming its RTU over TCP port
             for (int i = 0; i < b.sim->moduleCount(); ++i)
                 addresses << QString::number(b.sim->module(i)->address());
             const QString options = QString(v).replace('_', ' ') + (v.contains("--answer-ms") ? "" : " --answer-ms 100") + (v.contains("--baud") ? "" : " --baud 9600");
             b.shared[0] = quint16(MqttBroker::freePort()), b.shared[1] = quint16(MqttBroker::freePort());
             b.gateway = new GatewayProcess;
             if (!b.gateway->start(QStringList{"--port", b.sim->portPath(), "--addresses", addresses.join(','), "--modbus-tcp",
                                               QString::number(b.shared[0]), "--rtu-over-tcp", QString::number(b.shared[1])} + options.split(' ', Qt::SkipEmptyParts),
                                   "Watching addresses"))
                 qWarning("gateway: %s", qPrintable(b.gateway->said()));
             b.m_port = "tcp://127.0.0.1:" + QString::number(b.shared[1]);
         }},
        {"answer", [](Bench &b, const QString &v) { b.m_answer = v; }}, // to the question of a new address or rate, or cancel
        {"select", [](Bench &b, const QString &v) { b.bus<QTableView>("tableModules")->selectRow(v.toInt()); }}, // a row of the bus table, as shown
        {"key", [](Bench &, const QString &v) { // to the bus or the commission window, whichever is open
             for (QWidget *window : QApplication::topLevelWidgets()) {
                 if (window->isVisible() && window->parent()) {
                     QApplication::setActiveWindow(window);
                     return QTest::keySequence(window, QKeySequence(v));
                 }
             }
         }},
        {"closeBus", [](Bench &b, const QString &) { b.w->findChild<QWidget *>("BusWindow")->close(); }},
        {"saveAs", [](Bench &b, const QString &v) { b.m_saveAs = QString(v).replace('@', b.m_dir.path() + '/'); }}, // the file dialog's answer
        // The file saveAs names: its bytes ('|' for CRLF), gone, or its disk full v bytes past its size.
        {"file", [](Bench &b, const QString &v) { QFile f(b.m_saveAs); f.open(QIODevice::WriteOnly), f.write(QString(v).replace('|', "\r\n").toUtf8()); }},
        {"gone", [](Bench &b, const QString &) { QFile::remove(b.m_saveAs); }},
        {"full", [](Bench &b, const QString &v) {
             const rlimit disk{rlim_t(QFileInfo(b.m_saveAs).size() + v.toInt()), RLIM_INFINITY};
             std::signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &disk);
         }},
        {"field", [](Bench &b, const QString &v) { b.ui->lineEditAddress->setText(v); }},
        {"sn", [](Bench &b, const QString &v) { b.ui->lineEditSN->setText(v); }},
        {"baud", [](Bench &b, const QString &v) { b.ui->comboBoxBaudRate->setCurrentText(v); }},
        {"item", [](Bench &b, const QString &v) { b.ui->comboBoxNum->setCurrentIndex(v.toInt()); }},
        {"start", [](Bench &b, const QString &v) { b.ui->recmodecomboBox->setCurrentIndex(v.toInt()); }},
        {"rate", [](Bench &b, const QString &v) { b.ui->sample_ratecomboBox->setCurrentText(v); }},
        // the start time, in seconds from now or ISO 8601; the clock, ISO 8601 (Z for UTC)
        {"at", [](Bench &b, const QString &v) {
             // The editor keeps the wall clock of what it is given: give it local time.
             const QDateTime at = v.contains('T') ? QDateTime::fromString(v, Qt::ISODate) : currentDateTime().addSecs(v.toInt());
             b.ui->dateTimeEditstarttime->setDateTime(at.toLocalTime());
         }},
        {"clock", [](Bench &, const QString &v) { setClockForTesting([t = QDateTime::fromString(v, Qt::ISODate).toLocalTime()] { return t; }); }},
        {"press", [](Bench &b, const QString &v) { b.press(v); }},
        {"decline", [](Bench &b, const QString &) { b.m_decline = true; }}, // the next question, answered No
        {"hold", [](Bench &b, const QString &v) { b.m_hold = v.toInt(); }}, // the next question, answered after MS
        {"closeCommission", [](Bench &b, const QString &) { b.w->findChild<QWidget *>("CommissionWindow")->close(); }},
        {"quit", [](Bench &b, const QString &) { QCloseEvent e; QApplication::sendEvent(b.w, &e); }}, // as the window's close box asks
        {"minimise", [](Bench &b, const QString &) { b.w->findChild<QWidget *>("TrendWindow")->showMinimized(); }},
        {"quiet", [](Bench &, const QString &) { if (!QTest::qWaitFor([] { return UartData.RxBuffer.isEmpty(); }, 2000)) qFatal("given: never quiet"); }}, // bytes that made no reply dropped
        {"answered", [](Bench &b, const QString &) { QSignalSpy(b.sim, &modsim::ModuleSim::replySent).wait(2000); }},
        {"until", [](Bench &b, const QString &v) { // a state, of one key ('_' for a blank)
             if (!b.reach(QString(v).replace('_', ' '), 6000))
                 qFatal("given: never %s", qPrintable(v));
         }},
        {"disable", [](Bench &b, const QString &) { b.ui->recmodecomboBox->setEnabled(false), b.ui->sample_ratecomboBox->setEnabled(false); }},
    };
    for (const QString &word : spec.split(' ', Qt::SkipEmptyParts)) {
        const Set set = words.value(word.section('=', 0, 0));
        if (!set)
            qFatal("given: unknown word %s", qPrintable(word));
        set(*this, word.section('=', 1));
    }
}

QString Bench::state(const QString &expected) const
{
    using Get = std::function<QString(const Bench &)>;
    const auto on = [](bool b) { return QString(b ? "1" : "0"); };
    // A button's text without its mnemonic: "&Scan" and "扫描(&S)" read "Scan" and "扫描".
    const auto plain = [](const QString &text) { return QString(text).remove(QRegularExpression("\\(&.\\)")).remove('&'); };
    static const QMap<QString, Get> keys{
        {"field", [](const Bench &b) { return b.ui->lineEditAddress->text(); }},
        {"suggested", [](const Bench &b) { return b.m_suggested; }}, // by the last file dialog
        {"reason", [](const Bench &b) { return b.boxes.value(b.boxes.size() - 1).section(": ", 2); }}, // the last box's, past the port
        {"sn", [](const Bench &b) { return b.ui->lineEditSN->text(); }},
        {"shown", [](const Bench &b) { // the four labels after their names: "23.1℃,---,:---,15.8℃"
             static const QRegularExpression name("^(Temperature|Humidity|DewTemp|WetBulbTemp):");
             return QStringList{b.ui->labelTemperature->text(), b.ui->labelHumidity->text(), b.ui->labelDewTemp->text(),
                                b.ui->labelWetBulbTemp->text()}.replaceInStrings(name, QString()).join(',');
         }},
        {"module", [](const Bench &b) { return QString("%1@%2").arg(b.sim->address()).arg(b.sim->baudRate()); }},
        {"modules", [](const Bench &b) { // every module on the line: address@rate and serial number
             QStringList all;
             for (int i = 0; i < b.sim->moduleCount(); ++i)
                 all << QString("%1@%2 %3").arg(b.sim->module(i)->address()).arg(b.sim->module(i)->baudRate()).arg(QString(b.sim->module(i)->serialBytes().toHex()));
             return all.join(", ");
         }},
        {"port", [](const Bench &b) { // the rate it is open at
             const Transport *t = WidgetAccess::line(b.w)->transport();
             return t->isOpen() ? QString::number(t->rate()) : QString("closed");
         }},
        {"rate", [](const Bench &) { return QString::number(UartData.BaudRate); }},
        {"combo", [](const Bench &b) { return b.ui->comboBoxBaudRate->currentText(); }},
        {"tx", [](const Bench &b) { return QString::number(b.traffic().filter(QRegularExpression("^TX ")).size()); }},
        {"rx", [](const Bench &b) { return QString::number(b.traffic().filter(QRegularExpression("^RX ")).size()); }},
        {"hurried", [](const Bench &b) { // requests begun less than 3.5 characters after the line's last byte (paced)
             const QVector<qint64> gaps = b.sim->requestGaps();
             const qint64 least = rtu::gapUs(WidgetAccess::line(b.w)->rate());
             return QString::number(std::count_if(gaps.cbegin(), gaps.cend(), [least](qint64 gap) { return gap < least; }));
         }},
        {"probes", [](const Bench &b) { return QString::number(b.traffic().filter("TX 0003010000018427").size()); }},
        {"order", [](const Bench &b) { return b.traffic().replaceInStrings(QRegularExpression("^(.).*"), "\\1").join(""); }},
        {"read", [](const Bench &b) { return b.ui->pushButtonRead->text(); }},
        {"locked", [on](const Bench &b) { return on(!b.ui->pushButtonSetup->isEnabled()) + on(!b.ui->pushButtonReadRecord->isEnabled()); }},
        {"watch", [on](const Bench &b) { return on(b.timer(WidgetAccess::Response)->isActive()); }},
        {"search", [on](const Bench &b) { return on(b.timer(WidgetAccess::AutoUart)->isActive()); }},
        {"polling", [on](const Bench &b) { return on(b.timer(WidgetAccess::Humiture)->isActive()); }},
        {"boxes", [](const Bench &b) { // the port and the system's reason, which vary, stand as <port>: <reason>
             static const QRegularExpression reason("(<port> [^:]*: )[^/]+");
             const QString told = b.boxes.join(" / ").replace(b.m_dir.path() + '/', "@");
             return UartData.PortName.isEmpty() ? told : QString(told).replace(UartData.PortName + " ", "<port> ").replace(reason, "\\1<reason>");
         }},
        {"work", [](const Bench &b) { return b.w->findChild<QButtonGroup *>()->checkedButton()->text(); }},
        {"start", [](const Bench &b) { return QString::number(b.ui->recmodecomboBox->currentIndex()); }},
        {"sampling", [](const Bench &b) { return b.ui->sample_ratecomboBox->currentText(); }},
        {"enabled", [on](const Bench &b) { // start mode, sampling rate, start time
             return on(b.ui->recmodecomboBox->isEnabled()) + on(b.ui->sample_ratecomboBox->isEnabled()) + on(b.ui->dateTimeEditstarttime->isEnabled());
         }},
        {"serial", [](const Bench &b) { return QString(b.sim->serialBytes().toHex()); }},
        {"ack", [on](const Bench &) { return on(UartData.ReplyReceived) + on(UartData.SettingAck); }},
        {"pending", [on](const Bench &) { return on(UartData.BaudSetPending); }},
        {"at", [](const Bench &b) { return QString::number(currentDateTime().secsTo(b.ui->dateTimeEditstarttime->dateTime())); }},
        {"traces", [](const Bench &) { return QString::number(traces); }}, // debug messages since open()
        {"trend", [](const Bench &b) { // how many trend windows, and the title of one, if not minimised
             QWidget *trend = b.w->findChild<QWidget *>("TrendWindow");
             return QString::number(b.w->findChildren<QWidget *>("TrendWindow").size()) + ' ' + (trend->isMinimized() ? "minimised" : trend->windowTitle());
         }},
        {"rows", [](const Bench &b) { // the bus window's table: address@rate, values, status, polls/misses
             static const QRegularExpression late("late \\(\\d+ ms\\)");
             QAbstractItemModel *m = b.bus<QTableView>("tableModules")->model();
             QStringList rows;
             for (int r = 0; r < m->rowCount(); ++r) {
                 QStringList cells;
                 for (int c = 0; c < m->columnCount() - 1; ++c)
                     cells << m->index(r, c).data().toString();
                 rows << QString(cells[0] + '@' + cells[1] + ' ' + cells.mid(2, 4).join(',') + ' ' + cells[6] + ' ' + cells[7]
                                 + '/' + cells[8]).replace(QRegularExpression("since \\S+"), "since <time>").replace(late, "late (<n> ms)");
             }
             return rows.join(" | ");
         }},
        {"statuses", [](const Bench &b) { // the bus window's table: address, status and misses of each row
             QAbstractItemModel *m = b.bus<QTableView>("tableModules")->model();
             QStringList rows;
             for (int r = 0; r < m->rowCount(); ++r)
                 rows << m->index(r, 0).data().toString() + ' ' + m->index(r, 6).data().toString().replace(QRegularExpression("\\d+ ms"), "<n> ms") + ' '
                             + m->index(r, 8).data().toString();
             return rows.join(" | ");
         }},
        {"progress", [](const Bench &b) { return b.bus<QProgressBar>("progressBarScan")->text(); }},
        {"publish", [](const Bench &b) { return b.publish<QLabel>("labelPublishState")->text().replace('\n', " | "); }},
        {"connect", [](const Bench &b) { return b.publish<QPushButton>("pushButtonConnect")->text().remove('&'); }},
        {"polled", [](const Bench &b) { // polls of the watch, all modules together
             QAbstractItemModel *m = b.bus<QTableView>("tableModules")->model();
             int polls = 0;
             for (int r = 0; r < m->rowCount(); ++r)
                 polls += m->index(r, 7).data().toInt();
             return QString::number(polls);
         }},
        {"addresses", [](const Bench &b) { // the trend window's choice of modules
             const QComboBox *choice = b.w->findChild<QComboBox *>("comboBoxAddress");
             QStringList items;
             for (int i = 0; i < choice->count(); ++i)
                 items << choice->itemText(i);
             return items.join(' ');
         }},
        {"steps", [](const Bench &b) { // the commission window's list
             QStringList steps;
             const QListWidget *list = b.commission<QListWidget>("listSteps");
             for (int i = 0; i < list->count(); ++i)
                 steps << list->item(i)->text();
             return steps.join(" | ");
         }},
        {"counter", [](const Bench &b) { return b.commission<QLabel>("labelCounter")->text(); }},
        {"next", [](const Bench &b) { return QString::number(b.commission<QSpinBox>("spinBoxNextAddress")->value()); }},
        {"run", [plain](const Bench &b) { return plain(b.commission<QPushButton>("pushButtonRun")->text()); }},
        {"reported", [](const Bench &b) { // the last row of the report file chosen
             QFile report(b.commission<QLabel>("labelReport")->text());
             return report.open(QIODevice::ReadOnly) ? QString::fromUtf8(report.readAll()).split("\r\n", Qt::SkipEmptyParts).last() : QString();
         }},
        {"setup", [](const Bench &b) { // the simulated module's: mode, interval, start
             const modsim::Module *m = b.sim->module(0);
             return QString("%1 %2s %3").arg(m->recordMode()).arg(m->sampleInterval()).arg(QDateTime::fromSecsSinceEpoch(m->recordStart()).toString(Qt::ISODate));
         }},
        {"scan", [plain](const Bench &b) { return plain(b.bus<QPushButton>("pushButtonScan")->text()); }},
        {"watching", [plain](const Bench &b) { return plain(b.bus<QPushButton>("pushButtonWatch")->text()); }},
        {"round", [](const Bench &b) { // the watch's round, in s, as the status line says it
             return b.bus<QLabel>("labelBusStatus")->text().section("every ", 1).section(' ', 0, 0);
         }},
        {"tips", [](const Bench &b) { return b.bus<QPushButton>("pushButtonModuleAddress")->toolTip(); }}, // why it is greyed
        {"status", [](const Bench &b) { // the bus window's status line, its port <port> and a round's time <t>
             return b.bus<QLabel>("labelBusStatus")->text().replace(UartData.PortName + " ", "<port> ").replace(QRegularExpression("every \\d+\\.\\d"), "every <t>");
         }},
        {"greyed", [](const Bench &b) { // rows of the bus table whose values are greyed
             QAbstractItemModel *m = b.bus<QTableView>("tableModules")->model();
             QStringList rows;
             for (int r = 0; r < m->rowCount(); ++r)
                 if (m->index(r, 2).data(Qt::ForegroundRole).isValid())
                     rows << m->index(r, 0).data().toString() + '@' + m->index(r, 1).data().toString();
             return rows.join(' ');
         }},
        {"line", [](const Bench &b) { // the simulated modules' addresses and rates, in the line's order
             QStringList modules;
             for (int i = 0; i < b.sim->moduleCount(); ++i)
                 modules << QString("%1@%2").arg(b.sim->module(i)->address()).arg(b.sim->module(i)->baudRate());
             return modules.join(' ');
         }},
        {"clipboard", [](const Bench &) { return QGuiApplication::clipboard()->text().replace('\t', '>').replace('\n', '|'); }},
        {"points", [](const Bench &b) { // in each of the trend's series: its pieces, split at gaps, '*' if drawn as points
             const QList<QAbstractSeries *> all = b.w->findChild<QChartView *>("chartView")->chart()->series();
             QMap<QString, QStringList> pieces; // a series' first piece comes first, and is filled first
             for (auto *s : all)
                 if (auto *xy = static_cast<QXYSeries *>(s); xy->count() || !pieces.contains(s->name()))
                     pieces[s->name()] << QString::number(xy->count()) + (xy->pointsVisible() ? "*" : "");
             QStringList n;
             for (auto *s : all.mid(0, trend::SeriesCount))
                 n << pieces[s->name()].join('+');
             return n.join(' ');
         }},
        {"record", [](const Bench &b) { return b.w->findChild<QPushButton *>("pushButtonRecord")->text(); }},
        {"keys", [](const Bench &b) { // the saved file's lines but its comments
             QFile f(b.m_saveAs);
             f.open(QIODevice::ReadOnly);
             QStringList keys;
             for (const QString &l : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts))
                 if (!l.startsWith('#'))
                     keys << QString(l).replace(UartData.PortName, "<port>");
             return keys.join('|');
         }},
        {"file", [](const Bench &b) { // a byte-order mark shown, as QString would drop it
             QFile f(b.m_saveAs);
             f.open(QIODevice::ReadOnly);
             const QByteArray bytes = f.readAll();
             return (bytes.startsWith("\xEF\xBB\xBF") ? "<BOM>" : "") + QString(bytes).replace("\r\n", "|");
         }},
        {"armed", [](const Bench &b) { // the timers an action runs, with their intervals (the receive buffer's is the line's)
             QStringList armed;
             for (auto [t, name] : {std::pair{WidgetAccess::Response, "response"}, {WidgetAccess::Humiture, "humiture"},
                                    {WidgetAccess::AutoUart, "search"}, {WidgetAccess::Delay, "delay"}, {WidgetAccess::SettingResponse, "setting"}})
                 armed << (b.timer(t)->isActive() ? name + QString::number(b.timer(t)->interval()) : QString());
             return armed.join(' ').simplified();
         }},
        {"list", [](const Bench &) { // the AUTO search's rates, and how many it tries
             const qint32 *l = UartData.BaudList;
             return QString("%1 %2 %3 %4 %5 %6 /%7").arg(l[0]).arg(l[1]).arg(l[2]).arg(l[3]).arg(l[4]).arg(l[5]).arg(UartData.BaudCount);
         }},
    };
    QStringList out;
    for (const QString &pair : expected.split("; ")) {
        const QString key = pair.section('=', 0, 0);
        const Get get = keys.value(key);
        QString value = get ? get(*this) : QString("(unknown key)");
        // A dead port's name and the system's reason vary: <port> and <reason>.
        static const QRegularExpression died("(The serial port )\\S+( stopped working: )[^;|\"]*[^;|\" ]");
        if (key != "boxes")
            value.replace(died, "\\1<port>\\2<reason>");
        static const QRegularExpression apart("\\(the second \\d+ ms");
        value.replace(apart, "(the second <n> ms");
        out << key + '=' + value;
    }
    return out.join("; ");
}

QStringList Bench::traffic() const
{
    // Plain text of the HTML log, where the two blanks after the marker are one.
    static const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d->(TX|RX) ([0-9a-f]+)$"));
    QStringList out;
    for (const QString &entry : ui->textBrowser->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = line.match(entry);
        out << (m.hasMatch() ? m.captured(1) + QLatin1Char(' ') + m.captured(2) : entry);
    }
    return out;
}

QString MqttBroker::program(const QString &name)
{
    // Debian puts the broker under sbin, which a user's PATH may not hold.
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/local/sbin"}) : found;
}

int MqttBroker::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

MqttBroker::MqttBroker()
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, [this] { m_log += QString::fromUtf8(m_process.readAll()); });
}

bool MqttBroker::start(const QString &config)
{
    stop();
    if (!m_port)
        m_port = freePort();
    if (!config.isNull())
        m_config = config;
    QFile conf(path("mosquitto.conf"));
    // Run as whoever runs the test (root included), its database kept across
    // restarts as a broker's would be.
    const QString text = QStringLiteral("user root\nlog_dest stderr\nlog_type all\npersistence true\nautosave_interval 1\npersistence_location %1/\n"
                                        "listener %2 127.0.0.1\n").arg(m_dir.path()).arg(m_port)
        + QString(m_config).replace("<dir>", m_dir.path()) + '\n';
    if (!conf.open(QIODevice::WriteOnly) || conf.write(text.toUtf8()) < 0)
        return false;
    conf.close();
    const int before = m_log.count(" running");
    m_process.start(program("mosquitto"), {"-c", conf.fileName()});
    return m_process.waitForStarted(3000)
        && QTest::qWaitFor([&] { return m_log.count(" running") > before || m_process.state() != QProcess::Running; }, 5000)
        && m_process.state() == QProcess::Running;
}

void stopServer(QProcess &process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs))
        process.kill(), process.waitForFinished(1000);
}

void MqttBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    stopServer(m_process, 5000);
    m_log += QString::fromUtf8(m_process.readAll());
}

void MqttBroker::freeze()
{
    ::kill(pid_t(m_process.processId()), SIGSTOP);
}

void MqttBroker::crash()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

Subscriber::Subscriber(int port, const QStringList &topics, const QString &id)
{
    QStringList args{"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-c", "-i", id,
                     "-u", "tech", "-P", "right", "-F", "%r %t %p"};
    for (const QString &t : topics)
        args << "-t" << t;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
        for (const QByteArray &line : process.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                lines << QString::fromUtf8(line);
    });
    process.start(MqttBroker::program("mosquitto_sub"), args);
}

QStringList Subscriber::on(const QString &topic) const
{
    QStringList out;
    for (const QString &line : lines)
        if (line.section(' ', 1, 1) == topic)
            out << line.section(' ', 2);
    return out;
}

QStringList recorded(const QString &csvFile, int address)
{
    QFile f(csvFile);
    f.open(QIODevice::ReadOnly);
    QStringList out;
    for (const QString &row : QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts).mid(1)) {
        const QStringList v = row.split(',');
        if (v[1].toInt() == address)
            out << QStringLiteral("{\"time\":\"%1\",\"address\":%2,\"temperature_C\":%3,\"humidity_pct\":%4,\"dew_point_C\":%5,\"wet_bulb_C\":%6}")
                       .arg(v[0], v[1], v[2], v[3], v[4], v[5]);
    }
    return out;
}

QString inOrder(const QStringList &seen, const QStringList &made)
{
    int next = 0;
    for (const QString &s : seen) {
        if (next < made.size() && s == made[next])
            ++next;
        else if (!made.mid(0, next).contains(s))
            return "out of order: " + s;
    }
    return next == made.size() ? QStringLiteral("all %1").arg(made.size()) : "missing from " + made.value(next);
}
