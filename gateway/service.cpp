#include "gateway/service.h"

#include "bus/moduletable.h"
#include "bus/scanner.h"
#include "bus/watcher.h"
#include "link/line.h"
#include "protocol/rtu.h"
#include "publish/publisher.h"
#include "share/forwarder.h"
#include "share/listener.h"
#include "trend/record.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace gateway {

namespace {

// An adapter pulled out is looked for again this often, under its name.
constexpr int kRetryMs = 2000;
// What a stop gives the outbox to reach the broker.
constexpr int kDrainMs = 5000;
// A scan that found nothing is run again after this.
constexpr int kRescanMs = 10000;

} // namespace

Service::Service(const Config &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_line(new Line(this))
    , m_table(new bus::ModuleTable(this))
    , m_scanner(new bus::Scanner(m_line, m_table, this))
    , m_watcher(new bus::Watcher(m_line, m_table, this))
    , m_publisher(new publish::Publisher(this))
    , m_forwarder(new share::Forwarder(m_line, m_table, this))
    , m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &Service::openLine);
    connect(m_line, &Line::failed, this, [this](const QString &reason) { lineLost(reason); });
    connect(m_scanner, &bus::Scanner::covered, m_publisher, &publish::Publisher::lineScanned);
    connect(m_scanner, &bus::Scanner::covered, this, [this](quint8, quint8, const QSet<quint8> &present) {
        QVector<quint8> found(present.begin(), present.end());
        std::sort(found.begin(), found.end());
        const int n = found.size();
        if (n == 0) {
            // Modules that start slower than the box after a power cut are
            // looked for again, not left unwatched for good.
            say(QCoreApplication::translate("gateway::Service", "No module answers at %1 baud. Scanning again in 10 s.").arg(m_rate));
            return QTimer::singleShot(kRescanMs, this, [this] {
                if (!m_stopping && !m_found && m_line->isOpen())
                    scan();
            });
        }
        say((n == 1 ? QCoreApplication::translate("gateway::Service", "%n module found at %1 baud: %2", nullptr, n) : QCoreApplication::translate("gateway::Service", "%n modules found at %1 baud: %2", nullptr, n))
                .arg(m_rate)
                .arg(addressList(found)));
        m_found = true;
        watch();
    });
    connect(m_watcher, &bus::Watcher::reading, m_publisher, &publish::Publisher::addReading);
    connect(m_watcher, &bus::Watcher::reading, this, [this](const QDateTime &when, quint8 address, const trend::Values &values) {
        if (m_record.isOpen() && !m_record.write(trend::csvRow(when, address, values)))
            say(QCoreApplication::translate("gateway::Service", "The record %1 cannot be written: %2").arg(m_record.path(), m_record.error()));
    });
    connect(m_table, &bus::ModuleTable::availability, m_publisher, &publish::Publisher::setAvailability);
    connect(m_table, &bus::ModuleTable::availability, this, [this](quint8 address, bool online) {
        if (!m_stopping)
            say(online ? QCoreApplication::translate("gateway::Service", "Module %1 answers.").arg(address) : QCoreApplication::translate("gateway::Service", "Module %1 has gone silent.").arg(address));
    });
    connect(m_publisher, &publish::Publisher::changed, this, &Service::publisherChanged);
    // The line shared: the watch's readings answer reads, a module a write
    // moved takes its retained topics with it.
    m_forwarder->setAllowWrites(m_config.allowWrites);
    m_forwarder->setCacheMs(m_config.cacheMs >= 0 ? m_config.cacheMs : m_config.periodMs);
    connect(m_forwarder, &share::Forwarder::said, this, &Service::say);
    connect(m_watcher, &bus::Watcher::polled, m_forwarder, &share::Forwarder::polled);
    connect(m_forwarder, &share::Forwarder::moved, m_publisher, [this](quint8 from, quint8) { m_publisher->lineScanned(from, from, {}); });
}

void Service::say(const QString &text) const
{
    // One line an event, as journald keeps it.
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

bool Service::start()
{
    say(QCoreApplication::translate("gateway::Service", "Hygrovane gateway starting: port %1, %2, addresses %3, broker %4.")
            .arg(m_config.port,
                 m_config.baudRate ? QCoreApplication::translate("gateway::Service", "%1 baud").arg(m_config.baudRate) : QCoreApplication::translate("gateway::Service", "the rate searched"),
                 m_config.addresses.isEmpty() ? QCoreApplication::translate("gateway::Service", "1-247 scanned") : addressList(m_config.addresses),
                 m_config.broker.isEmpty() ? QCoreApplication::translate("gateway::Service", "none") : m_config.broker));
    if (!m_config.record.isEmpty()) {
        switch (m_record.open(m_config.record, trend::csvHeader())) {
        case trend::CsvFile::Ok:
            break;
        case trend::CsvFile::Foreign:
            say(QCoreApplication::translate("gateway::Service", "The record %1 holds something else than readings: choose another file.").arg(m_config.record));
            return false;
        case trend::CsvFile::Failed:
            say(QCoreApplication::translate("gateway::Service", "The record %1 cannot be opened: %2").arg(m_config.record, m_record.error()));
            return false;
        }
    }
    share::Limits limits;
    limits.maxClients = m_config.maxClients;
    for (const auto &[framing, at] : {std::pair{share::Framing::Mbap, m_config.modbusTcp}, {share::Framing::Rtu, m_config.rtuOverTcp}}) {
        QHostAddress host;
        quint16 port = 0;
        QString why;
        if (at.isEmpty() || !share::parseEndpoint(at, &host, &port, &why))
            continue;
        auto *listener = new share::Listener(framing, m_forwarder, limits, this);
        connect(listener, &share::Listener::said, this, &Service::say);
        m_listeners.append(listener);
        if (!listener->listen(host, port))
            return false;
    }
    if (!m_config.broker.isEmpty()) {
        m_publisher->start(publisherSettings(m_config));
        if (m_publisher->state() == publish::Publisher::Refused) {
            say(QCoreApplication::translate("gateway::Service", "Publishing cannot start: %1").arg(m_publisher->reason()));
            return false;
        }
    }
    openLine();
    return true;
}

void Service::openLine()
{
    if (m_stopping)
        return;
    m_line->usePort(m_config.port);
    const qint32 first = m_config.baudRate ? m_config.baudRate : rtu::SearchRates[0];
    QString why;
    if (!m_line->open(first, &why)) {
        if (!m_portDown)
            say(QCoreApplication::translate("gateway::Service", "The port %1 cannot be opened: %2. Trying again every 2 s.").arg(m_config.port, why));
        m_portDown = true;
        return retryLater();
    }
    say(m_portDown ? QCoreApplication::translate("gateway::Service", "The port %1 is back.").arg(m_config.port) : QCoreApplication::translate("gateway::Service", "The port %1 is open.").arg(m_config.port));
    m_portDown = false;
    probe(0);
}

void Service::retryLater()
{
    if (!m_stopping)
        m_retry->start(kRetryMs);
}

void Service::probe(int step)
{
    // As Link does: the address read every module answers, its answer timed;
    // searching, at each rate in turn until one answers.
    const qint32 rate = m_config.baudRate ? m_config.baudRate : rtu::SearchRates[step];
    QString why;
    if (rate != m_line->rate() && !m_line->open(rate, &why))
        return lineLost(why);
    Exchange x;
    x.frame = rtu::buildRequest(0, rtu::ReadRegisters, rtu::DeviceAddress, 1);
    x.firstByteUs = m_config.baudRate ? 500000 : 300000;
    x.timed = true;
    x.done = [this, step, rate](Exchange::Outcome outcome, const QByteArray &) {
        if (outcome != Exchange::Silent || m_config.baudRate)
            return linked(rate);
        if (step + 1 < int(std::size(rtu::SearchRates)))
            return probe(step + 1);
        say(QCoreApplication::translate("gateway::Service", "No module answers at any rate. Trying again in 2 s."));
        m_line->close();
        retryLater();
    };
    m_line->exchange(this, x);
}

void Service::linked(qint32 rate)
{
    m_rate = rate;
    m_answerMs = m_config.answerMs >= 0 ? m_config.answerMs : rtu::defaultAnswerMs(m_line->measuredAnswerMs());
    m_forwarder->linked(rate, m_answerMs);
    say(QCoreApplication::translate("gateway::Service", "Linked at %1 baud; each module has %2 ms to answer.").arg(rate).arg(m_answerMs));
    if (m_found)
        return watch();
    if (!m_config.addresses.isEmpty()) {
        QVector<bus::Probe> expected;
        for (quint8 address : qAsConst(m_config.addresses))
            expected.append({address, rate});
        m_table->expect(expected);
        m_found = true;
        say(QCoreApplication::translate("gateway::Service", "Watching addresses %1 at %2 baud.").arg(addressList(m_config.addresses)).arg(rate));
        return watch();
    }
    scan();
}

void Service::scan()
{
    say(QCoreApplication::translate("gateway::Service", "Scanning addresses 1-247 at %1 baud.").arg(m_rate));
    m_scanner->start(bus::scanPlan(1, 247, false, m_rate), m_answerMs);
}

void Service::watch()
{
    m_table->setWatchRate(m_rate);
    m_watcher->start(m_rate, m_answerMs, m_config.periodMs);
}

void Service::lineLost(const QString &reason)
{
    m_forwarder->lineLost();
    m_scanner->stop();
    m_watcher->stop();
    m_line->close();
    say(QCoreApplication::translate("gateway::Service", "The port %1 stopped working: %2. Trying again every 2 s.").arg(m_config.port, reason));
    m_portDown = true;
    // Its modules are not heard meanwhile: availability says so.
    m_table->lineLost();
    // A scan cut off starts again once the port is back.
    if (m_scanner->plan().size() && !m_found)
        m_table->clear();
    retryLater();
}

QVector<QPair<QString, QJsonObject>> Service::sharing() const
{
    QVector<QPair<QString, QJsonObject>> sections;
    for (const share::Listener *listener : m_listeners)
        sections.append({listener->key(), listener->diagnostics()});
    return sections;
}

void Service::publisherChanged()
{
    const int state = m_publisher->state();
    if (state != m_publisherState) {
        m_publisherState = state;
        switch (m_publisher->state()) {
        case publish::Publisher::Connected:
            say(m_everConnected ? QCoreApplication::translate("gateway::Service", "The broker is back.") : QCoreApplication::translate("gateway::Service", "Connected to the broker."));
            m_everConnected = true;
            break;
        case publish::Publisher::Retrying:
            say(QCoreApplication::translate("gateway::Service", "The broker is lost: %1").arg(m_publisher->reason()));
            break;
        case publish::Publisher::Refused:
            say(QCoreApplication::translate("gateway::Service", "The broker refuses: %1").arg(m_publisher->reason()));
            break;
        default:
            break;
        }
    }
    const quint64 dropped = m_publisher->outbox().dropped();
    if (dropped > m_dropped) {
        say(QCoreApplication::translate("gateway::Service", "Readings dropped from the outbox, the broker away too long: %1.").arg(dropped - m_dropped));
        m_dropped = dropped;
    }
}

void Service::shutdown()
{
    if (m_stopping)
        return;
    m_stopping = true;
    say(QCoreApplication::translate("gateway::Service", "Stopping."));
    // The other masters first: nothing of theirs goes on the line from now on.
    for (share::Listener *listener : qAsConst(m_listeners))
        listener->close();
    m_forwarder->stop();
    m_retry->stop();
    m_scanner->stop();
    m_watcher->stop();
    m_record.close();
    auto *drain = new QTimer(this);
    m_stopClock.start();
    connect(drain, &QTimer::timeout, this, [this, drain] {
        const publish::Outbox &outbox = m_publisher->outbox();
        const bool empty = outbox.waiting() == 0 && outbox.inFlight() == 0;
        if (!empty && m_publisher->started() && m_stopClock.elapsed() < kDrainMs)
            return;
        drain->stop();
        if (!empty)
            say(QCoreApplication::translate("gateway::Service", "Readings not published: %1.").arg(outbox.waiting()));
        m_publisher->stop();
        m_line->close();
        emit finished(0);
    });
    drain->start(50);
}

} // namespace gateway
