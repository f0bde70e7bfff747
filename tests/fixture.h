// What the test programs (and the benchmark and picture driver) share: the
// real window with every message box it opens caught, beside it on demand
// the simulated module on a pseudo-terminal, and one small language for both:
// given("key=value ...") sets a scene, state("key=value; ...") reads one back.
#ifndef HYGROVANE_FIXTURE_H
#define HYGROVANE_FIXTURE_H

#include "app/uartdata.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"
#include "tools/modsim/modulesim.h"
#include "link/serialtransport.h"
#include "ui/widget.h"
#include "ui_widget.h"

#include <QInputDialog>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <memory>

class GatewayProcess;
class Ser2net;

struct WidgetAccess
{
    enum Timer { Clear, Response, Humiture, AutoUart, Delay, SettingResponse };
    static Ui::Widget *ui(Widget *w) { return w->ui; }
    static Line *line(Widget *w) { return w->line; }
    static QSerialPort *port(Widget *w)
    {
        auto *serial = qobject_cast<SerialTransport *>(w->line->transport());
        return serial ? serial->port() : nullptr;
    }
    static quint16 &readItem(Widget *w) { return w->readItem; }
    static trend::Histories &histories(Widget *w) { return w->histories; }
    static QTimer *timer(Widget *w, Timer t)
    {
        QTimer *all[] = {w->timerClear, w->timerResponse, w->timerHumiture,
                         w->timerAutoUart, w->timerDelay, w->timerSettingResponse};
        return all[t];
    }
    // What my_readuart does with the bytes the port delivered.
    static void receive(Widget *w, const QByteArray &chunk) { w->line->receive(chunk); }
    // The request on the line, as if just written: "ALL@1", "T@1" (temperature)
    // and "H@1", "D@1", "W@1", "S@1" (one register each), "address" (the read),
    // "address=12", "baud=4", "info", "settings". Here, not in fixture.cpp: the
    // fuzzer has it without the rest of the fixture.
    // A request prefixed "~" goes on a line known to echo.
    static void onLine(Widget *w, const QString &line)
    {
        Line *l = w->line;
        l->m_echoes = line.startsWith('~');
        const QString request = line.mid(l->m_echoes ? 1 : 0);
        static const QString items = QStringLiteral("ALL T H D W S");
        const int item = items.split(' ').indexOf(request.section('@', 0, 0));
        const quint16 value = quint16(request.section('=', 1).toInt());
        LineRequest r;
        if (item >= 0) {
            r.selector = quint16(qMax(0, item - 1));
            r.frame = rtu::buildRequest(quint8(request.section('@', 1).toInt()), rtu::ReadRegisters, r.selector, item ? 1 : 5);
        } else if (request.startsWith("address")) {
            r.kind = value ? LineRequest::Command : LineRequest::AddressRead, r.selector = Widget::ReadsAddress;
            r.frame = rtu::buildRequest(0, value ? rtu::WriteRegister : rtu::ReadRegisters, rtu::DeviceAddress, value ? value : 1);
        } else if (request.startsWith("baud")) {
            r.kind = LineRequest::BaudWrite, r.selector = Widget::ReadsBaudRate;
            r.frame = rtu::buildRequest(0, rtu::WriteRegister, rtu::BaudRateCode, value);
        } else {
            r.kind = request == "info" ? LineRequest::InfoRead : LineRequest::SettingsRead;
            r.frame = request == "info" ? logger::infoRequest() : logger::settingsRequest();
        }
        l->m_outstanding = r;
        w->readItem = r.selector;
        l->m_echoAwaited = l->m_echoes || !rtu::isWrite(r.frame);
    }
    static void log(Widget *w, const QString &hex, bool isRx) { w->LogFrame(hex, isRx); }
    // A line over a transport of the test's own.
    static void carry(Line *line, Transport *transport) { line->attach(transport); }
};

// Whether this run of a program takes the next case: with HYGROVANE_PART set
// to k/n, every nth one from the kth (0 to n-1); without it, all.
bool inThisPart();

class Bench : public QObject
{
public:
    Widget *w = nullptr;
    Ui::Widget *ui = nullptr;
    modsim::ModuleSim *sim = nullptr;
    Ser2net *server = nullptr; // a network serial server in front of the module's line, once asked for
    GatewayProcess *gateway = nullptr; // a gateway watching the module's line and sharing it
    quint16 shared[2] = {0, 0};        // its ports: Modbus TCP, RTU over TCP
    QStringList boxes; // "title: text" of every message box, in order
    QStringList heard; // every request the module heard, RTU or logger, in hex

    // A fresh start: UartData as at start-up, a new window and, with a module,
    // one at address 1, 9600 baud, still at 23.1 ℃, 45.6 %, 10.3 ℃, 15.8 ℃.
    bool open(bool module = true);
    void close();
    ~Bench() override { close(); }

    // Linked at 9600 with the address shown; the link's own timers are
    // stopped, so what follows runs only on what the next action starts.
    bool linked();
    // Clicks the button of that object name; "poll" sends one poll now.
    void press(const QString &button);

    void given(const QString &spec);
    // Turns the event loop until state(expected) reads as expected.
    bool reach(const QString &expected, int timeoutMs);
    QString state(const QString &expected) const; // the keys of `expected`, read now

    QTimer *timer(WidgetAccess::Timer t) const { return WidgetAccess::timer(w, t); }
    // A control of the bus or the commission window, by its object name.
    template<class T> T *bus(const char *name) const { return w->findChild<QWidget *>("BusWindow")->findChild<T *>(name); }
    template<class T> T *commission(const char *name) const
    {
        return w->findChild<QWidget *>("CommissionWindow")->findChild<T *>(name);
    }
    QSerialPort *port() const { return WidgetAccess::port(w); }
    QStringList traffic() const; // the log as "TX <hex>" and "RX <hex>"; other lines whole
    template<class T> T *publish(const char *name) const { return w->findChild<QWidget *>("PublishDialog")->findChild<T *>(name); }

private:
    bool eventFilter(QObject *object, QEvent *event) override;
    void answer(QInputDialog *question);
    QString m_baudItem, m_port, m_saveAs, m_answer;
    QString m_suggested; // the name the last file dialog offered
    bool m_decline = false; // the next question is answered No
    int m_hold = 0;         // ms the next modal window stays open before it is answered
    QTemporaryDir m_dir; // '@' in a saveAs answer
    std::unique_ptr<QSerialPort> m_holder; // the program that holds a port
};

// A real Mosquitto broker on 127.0.0.1 at a port free when first started, the
// same port on every restart; its configuration, database and whatever files
// a test adds live in a folder of its own. Never on any other address.
// A server a test started, stopped as a service manager would: asked to end,
// then killed if it has not within `graceMs`.
void stopServer(QProcess &process, int graceMs);

class MqttBroker
{
public:
    // Where the broker and its clients are, or empty: not installed.
    static QString program(const QString &name);
    MqttBroker();
    ~MqttBroker() { stop(); }
    // Lines added to the configuration ("<dir>" stands for the folder).
    bool start(const QString &config = QString());
    void stop();
    // Frozen: it holds its connections and answers nothing. Then crashed:
    // gone at once, its connections reset.
    void freeze();
    void crash();
    void reload() { ::kill(pid_t(m_process.processId()), SIGHUP); } // its password file read again
    // A second free port, for a further listener.
    static int freePort();
    int port() const { return m_port; }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString log() const { return m_log; }
    // Lines of the log that contain `text`.
    int count(const QString &text) const { return m_log.count(text); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_config;
    QString m_log;
    int m_port = 0;
};

// mosquitto_sub, one line a message: retained flag, topic, payload. As the
// broker's user tech, whose password is "right".
class Subscriber
{
public:
    Subscriber(int port, const QStringList &topics, const QString &id = "tst-publish");
    ~Subscriber() { process.terminate(), process.waitForFinished(2000); }
    // The payloads of a topic, in order.
    QStringList on(const QString &topic) const;
    QStringList lines;
    QProcess process;
};

// A record's rows of a module as the state payloads they were published as.
QStringList recorded(const QString &csvFile, int address);
// Every reading recorded arrived, in order; one sent again after a lost
// acknowledgement (QoS 1) is passed over.
QString inOrder(const QStringList &seen, const QStringList &made);

#endif
