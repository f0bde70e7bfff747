#include "gateway/service.h"

#include "bus/moduletable.h"
#include "bus/scanner.h"
#include "bus/watcher.h"
#include "gateway/logline.h"
#include "gateway/reporter.h"
#include "gateway/spool.h"
#include "link/line.h"
#include "protocol/rtu.h"
#include "publish/publisher.h"
#include "share/forwarder.h"
#include "share/listener.h"
#include "trend/record.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSysInfo>
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
    , m_reporter(new Reporter(m_watcher, m_table, m_publisher, this))
    , m_started(QDateTime::currentDateTime())
{
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &Service::openLine);
    connect(m_line, &Line::failed, this, &Service::lineLost);
    connect(m_line, &Line::carrying, this, &Service::lineOpen);
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
                if (!m_stopping && !m_found && m_line->isOpen()) {
                    m_reporter->rescanned();
                    scan();
                }
            });
        }
        say((n == 1 ? QCoreApplication::translate("gateway::Service", "%n module found at %1 baud: %2", nullptr, n) : QCoreApplication::translate("gateway::Service", "%n modules found at %1 baud: %2", nullptr, n))
                .arg(m_rate)
                .arg(addressList(found)));
        m_found = true;
        watch();
    });
    // Garbled answers only: said once, and neither watched nor announced.
    const auto garbled = [this](quint8 address) {
        say(QCoreApplication::translate("gateway::Service", "address %1: only garbled answers: two modules at one address, or noise").arg(address));
    };
    connect(m_scanner, &bus::Scanner::garbledOnly, this, [this, garbled](quint8 address, qint32 rate) {
        garbled(address);
        const int row = m_table->find(address, rate);
        m_table->setData(m_table->index(row, bus::ModuleTable::Address), Qt::Unchecked, Qt::CheckStateRole);
    });
    connect(m_watcher, &bus::Watcher::garbledOnly, this, garbled);
    connect(m_watcher, &bus::Watcher::discovered, this, [this](quint8 address, qint32 rate) {
        say(QCoreApplication::translate("gateway::Service", "Module %1 found at %2 baud by the rescan: watched from now on.").arg(address).arg(rate));
    });
    connect(m_watcher, &bus::Watcher::roundEnded, this, [this](qint64 roundMs) {
        if (!m_overrun.worthSaying(roundMs, m_config.periodMs))
            return;
        const int modules = int(m_table->watched(m_rate).count(true));
        say(QCoreApplication::translate("gateway::Service", "a round of %n modules takes %1 s at %2 baud, longer than the period of %3 s", nullptr, modules)
                .arg(QString::number(roundMs / 1000.0, 'f', 1))
                .arg(m_rate)
                .arg(QString::number(m_config.periodMs / 1000.0)));
    });
    connect(m_watcher, &bus::Watcher::reading, m_publisher, &publish::Publisher::addReading);
    connect(m_watcher, &bus::Watcher::reading, this, [this](const QDateTime &when, quint8 address, const trend::Values &values) {
        // Kept in a spool, a reading is recorded once it is kept there: the
        // record holds no reading that a power cut could take from the broker.
        if (m_spool)
            m_unrecorded += trend::csvRow(when, address, values);
        else
            record(trend::csvRow(when, address, values));
    });
    connect(m_watcher, &bus::Watcher::roundEnded, this, &Service::roundEnded);
    connect(m_publisher, &publish::Publisher::looked, this, &Service::looked);
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
    connect(m_watcher, &bus::Watcher::exchanged, m_forwarder, &share::Forwarder::polled);
    connect(m_forwarder, &share::Forwarder::moved, m_publisher, [this](quint8 from, quint8) { m_publisher->lineScanned(from, from, {}); });
}

Service::~Service() = default;

void Service::say(const QString &text) const
{
    // One line an event, as journald keeps it.
    const QByteArray line = logLine(text);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

Identity Service::identity() const
{
    return {QSysInfo::machineHostName(), m_config.port, m_config.configFile, QCoreApplication::applicationVersion(), m_started};
}

void Service::record(const QByteArray &rows)
{
    if (m_record.isOpen() && !rows.isEmpty() && !m_record.write(rows))
        say(QCoreApplication::translate("gateway::Service", "The record %1 cannot be written: %2").arg(m_record.path(), m_record.error()));
}

bool Service::openRecord(const QString &path)
{
    switch (m_record.open(path, trend::csvHeader())) {
    case trend::CsvFile::Ok:
        return true;
    case trend::CsvFile::Foreign:
        say(QCoreApplication::translate("gateway::Service", "The record %1 holds something else than readings: choose another file.").arg(path));
        return false;
    case trend::CsvFile::Failed:
        say(QCoreApplication::translate("gateway::Service", "The record %1 cannot be opened: %2").arg(path, m_record.error()));
        return false;
    }
    return false;
}

bool Service::start(int *code)
{
    *code = 1;
    say(QCoreApplication::translate("gateway::Service", "Hygrovane gateway starting: port %1, %2, addresses %3, broker %4.")
            .arg(m_config.port,
                 m_config.baudRate ? QCoreApplication::translate("gateway::Service", "%1 baud").arg(m_config.baudRate) : QCoreApplication::translate("gateway::Service", "the rate searched"),
                 m_config.addresses.isEmpty() ? QCoreApplication::translate("gateway::Service", "1-247 scanned") : addressList(m_config.addresses),
                 m_config.broker.isEmpty() ? QCoreApplication::translate("gateway::Service", "none") : m_config.broker));
    if (!m_config.record.isEmpty() && !openRecord(m_config.record))
        return false;
    if (!m_config.spool.isEmpty()) {
        *code = 2;
        if (m_config.broker.isEmpty()) {
            say(QCoreApplication::translate("gateway::Service", "A spool keeps readings for a broker: give --broker too."));
            return false;
        }
        m_spool = std::make_unique<Spool>(m_config.spoolMax);
        const Spool::Opened opened = m_spool->open(m_config.spool);
        if (opened != Spool::Ok) {
            say(m_spool->error());
            *code = opened == Spool::Failed ? 1 : 2;
            return false;
        }
        const int kept = int(m_spool->end() - m_spool->first());
        say(kept ? QCoreApplication::translate("gateway::Service", "The spool %1 holds %2 readings from before: they go first.").arg(m_config.spool).arg(kept)
                 : QCoreApplication::translate("gateway::Service", "Readings are spooled in %1.").arg(m_config.spool));
        m_publisher->keepIn(m_spool.get());
        m_reporter->setSpool(m_spool.get());
    }
    *code = 1;
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
    m_reporter->setSections([this] { return sharing(); });
    if (!m_config.broker.isEmpty()) {
        startPublishing();
        if (m_publisher->state() == publish::Publisher::Refused) {
            say(QCoreApplication::translate("gateway::Service", "Publishing cannot start: %1").arg(m_publisher->reason()));
            return false;
        }
    }
    openLine();
    return true;
}

void Service::startPublishing()
{
    const publish::Settings settings = publisherSettings(m_config);
    // Nothing is published before it is known that no other gateway is
    // live under the prefix.
    m_publisher->start(settings, {publish::statusTopic(settings.prefix), identityTopic(settings.prefix)});
}

void Service::looked(const QHash<QString, QByteArray> &retained)
{
    const QString prefix = publisherSettings(m_config).prefix;
    const QString holder = gateway::holder(retained, prefix, identity());
    if (!holder.isEmpty() && !m_everClaimed) {
        say(QCoreApplication::translate("gateway::Service", "The prefix %1 is in use by %2: give this line a prefix of its own (--prefix).").arg(prefix, holder));
        m_stopping = true;
        m_publisher->stop();
        return emit finished(2);
    }
    if (!holder.isEmpty()) {
        say(QCoreApplication::translate("gateway::Service", "The prefix %1 is in use by %2: going on with the broker settings from before.").arg(prefix, holder));
        m_config.broker = m_claimed.broker, m_config.user = m_claimed.user, m_config.password = m_claimed.password;
        m_config.passwordFile = m_claimed.passwordFile, m_config.caFile = m_claimed.caFile, m_config.prefix = m_claimed.prefix;
        m_config.discovery = m_claimed.discovery;
        return startPublishing();
    }
    m_everClaimed = true;
    m_claimed = m_config;
    m_publisher->claim();
    m_publisher->setRetained({identityTopic(prefix), identityJson(identity()), true});
    m_reporter->publishUnder(prefix, m_config.discovery);
}

void Service::roundEnded()
{
    if (!m_spool)
        return;
    // One transaction a round: what the round read is kept, then recorded,
    // then handed to the broker.
    const bool kept = m_publisher->commit();
    if (kept == m_spoolFailing)
        say(kept ? QCoreApplication::translate("gateway::Service", "The spool %1 is written again.").arg(m_spool->path())
                 : QCoreApplication::translate("gateway::Service", "The spool %1 cannot be written: %2. The readings wait in memory meanwhile.").arg(m_spool->path(), m_spool->error()));
    m_spoolFailing = !kept;
    record(m_unrecorded);
    m_unrecorded.clear();
    publisherChanged();
}

void Service::openLine()
{
    if (m_stopping)
        return;
    m_line->usePort(m_config.port);
    const qint32 first = m_config.baudRate ? m_config.baudRate : rtu::SearchRates[0];
    QString why;
    if (!m_line->open(first, &why))
        return lineLost(why, true);
    // A network server is still to be reached: the line is open once it is.
    if (m_line->carries())
        lineOpen();
    probe(0);
}

void Service::lineOpen()
{
    // Once until it is lost again: a line closed and opened again to look
    // for its modules is no news.
    if (m_said != PortOpen)
        say(m_said == PortLost ? QCoreApplication::translate("gateway::Service", "The port %1 is back.").arg(m_config.port) : QCoreApplication::translate("gateway::Service", "The port %1 is open.").arg(m_config.port));
    m_said = PortOpen;
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
        return lineLost(why, false);
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
    m_reporter->setLine(Health::Scanning);
    m_scanner->start(bus::scanPlan(1, 247, false, m_rate), m_answerMs);
}

void Service::watch()
{
    m_table->setWatchRate(m_rate);
    m_watcher->setRescan(m_config.rescanMinutes);
    m_watcher->setResting(true);
    m_reporter->setLine(Health::Watching);
    m_watcher->start(m_rate, m_answerMs, m_config.periodMs);
}

void Service::lineLost(const QString &reason, bool opening)
{
    m_forwarder->lineLost();
    m_scanner->stop();
    m_watcher->stop();
    m_line->close();
    // The readings of the round cut off are kept as a round's.
    roundEnded();
    m_reporter->setLine(Health::Down);
    // Once for an outage, however often it is tried again meanwhile.
    if (m_said == PortOpen || m_said == PortUnsaid)
        say(opening ? QCoreApplication::translate("gateway::Service", "The port %1 cannot be opened: %2. Trying again every 2 s.").arg(m_config.port, reason)
                    : QCoreApplication::translate("gateway::Service", "The port %1 stopped working: %2. Trying again every 2 s.").arg(m_config.port, reason));
    m_said = m_said == PortOpen || m_said == PortLost ? PortLost : PortDown;
    // Its modules are not heard meanwhile: availability says so.
    m_table->lineLost();
    // A scan cut off starts again once the port is back.
    if (m_scanner->plan().size() && !m_found)
        m_table->clear();
    retryLater();
}

Sections Service::sharing() const
{
    Sections sections;
    for (const share::Listener *listener : m_listeners)
        sections.append({listener->key(), listener->diagnostics()});
    return sections;
}

void Service::publisherChanged()
{
    // Said once a change: a broker that refuses or stays away is tried again
    // and again, for the same reason.
    const int state = m_publisher->state();
    if (state == publish::Publisher::Connected && m_publisherState != state) {
        say(m_everConnected ? QCoreApplication::translate("gateway::Service", "The broker is back.") : QCoreApplication::translate("gateway::Service", "Connected to the broker."));
        m_everConnected = true;
        m_brokerCause.clear();
    } else if ((state == publish::Publisher::Retrying || state == publish::Publisher::Refused) && m_publisher->cause() != m_brokerCause) {
        m_brokerCause = m_publisher->cause();
        say(m_publisher->refusing() || state == publish::Publisher::Refused
                ? QCoreApplication::translate("gateway::Service", "The broker refuses: %1").arg(m_publisher->reason())
                : QCoreApplication::translate("gateway::Service", "The broker is lost: %1").arg(m_publisher->reason()));
    }
    m_publisherState = state;
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
    m_reporter->stopping();
    // The other masters first: nothing of theirs goes on the line from now on.
    for (share::Listener *listener : qAsConst(m_listeners))
        listener->close();
    m_forwarder->stop();
    m_retry->stop();
    m_scanner->stop();
    m_watcher->stop();
    roundEnded();
    m_record.close();
    auto *drain = new QTimer(this);
    m_stopClock.start();
    connect(drain, &QTimer::timeout, this, [this, drain] {
        const publish::Outbox &outbox = m_publisher->outbox();
        const bool empty = outbox.waiting() == 0 && outbox.inFlight() == 0;
        // Kept on disk, readings need not wait for a broker that is away.
        const bool safe = m_spool && m_publisher->state() != publish::Publisher::Connected;
        if (!empty && !safe && m_publisher->started() && m_stopClock.elapsed() < kDrainMs)
            return;
        drain->stop();
        // What the broker acknowledged goes from the spool.
        m_publisher->commit();
        if (!empty && m_spool)
            say(QCoreApplication::translate("gateway::Service", "Readings kept in the spool for the next start: %1.").arg(outbox.waiting()));
        else if (!empty)
            say(QCoreApplication::translate("gateway::Service", "Readings not published: %1.").arg(outbox.waiting()));
        m_publisher->stop();
        m_line->close();
        emit finished(0);
    });
    drain->start(50);
}

void Service::restartWatch()
{
    m_retry->stop();
    m_scanner->stop();
    m_watcher->stop();
    m_line->close();
    roundEnded();
    m_table->clear();
    m_found = false;
    m_said = PortUnsaid; // another port, perhaps: its opening is said anew
    m_reporter->setLine(Health::Opening);
    openLine();
}

void Service::reload(const Config &next, const QString &problem)
{
    if (m_stopping)
        return;
    if (!problem.isEmpty())
        return say(QCoreApplication::translate("gateway::Service", "The configuration is not taken: %1. The gateway goes on as it was.").arg(problem));
    m_reporter->reloading();
    const Config old = m_config;
    m_config = next;
    // The outbox on disk is the one it started with: another would need a restart.
    if (next.spool != old.spool || next.spoolMax != old.spoolMax)
        say(QCoreApplication::translate("gateway::Service", "The spool changes at the next start."));
    m_config.spool = old.spool, m_config.spoolMax = old.spoolMax;
    if (next.record != old.record) {
        m_record.close();
        if (!next.record.isEmpty() && !openRecord(next.record) && !old.record.isEmpty() && openRecord(old.record))
            m_config.record = old.record;
    }
    const publish::Settings was = publisherSettings(old), is = publisherSettings(m_config);
    const bool publishing = was.broker != is.broker || was.user != is.user || was.password != is.password || was.caFile != is.caFile
        || was.prefix != is.prefix || was.discovery != is.discovery;
    const bool line = next.port != old.port || next.baudRate != old.baudRate || next.addresses != old.addresses
        || next.answerMs != old.answerMs || next.periodMs != old.periodMs;
    const QString said[] = {QCoreApplication::translate("gateway::Service", "Configuration read again: nothing to change."),
                            QCoreApplication::translate("gateway::Service", "Configuration read again: publishing anew."),
                            QCoreApplication::translate("gateway::Service", "Configuration read again: watching anew."),
                            QCoreApplication::translate("gateway::Service", "Configuration read again: publishing and watching anew.")};
    say(said[int(publishing) + 2 * int(line)]);
    if (publishing && m_config.broker.isEmpty())
        m_publisher->stop();
    else if (publishing)
        startPublishing();
    else if (line && m_everClaimed)
        m_publisher->setRetained({identityTopic(is.prefix), identityJson(identity()), true});
    if (line)
        restartWatch();
    m_reporter->reloaded();
}

} // namespace gateway
