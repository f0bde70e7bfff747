#include "gateway/reporter.h"

#include "bus/moduletable.h"
#include "bus/watcher.h"
#include "gateway/spool.h"
#include "publish/publisher.h"

#include <QTimer>

namespace gateway {

Reporter::Reporter(bus::Watcher *watcher, bus::ModuleTable *table, publish::Publisher *publisher, QObject *parent)
    : QObject(parent)
    , m_watcher(watcher)
    , m_table(table)
    , m_publisher(publisher)
    , m_tally(new Tally(watcher, this))
    , m_watchdog(new QTimer(this))
{
    connect(m_tally, &Tally::due, this, &Reporter::report);
    connect(watcher, &bus::Watcher::roundEnded, this, [this] {
        if (!m_ready) {
            // The line open and a round done: ready, and the first figures.
            m_ready = true;
            m_notifier.ready();
            m_tally->start();
            report();
        }
        update();
        m_notifier.alive();
    });
    // Alive from the watch's own polls, so that a watch stuck mid-round is
    // restarted; between rounds, and while there is no line, from the timer.
    connect(watcher, &bus::Watcher::polled, this, [this] { m_notifier.alive(); });
    if (m_notifier.watchdogMs()) {
        connect(m_watchdog, &QTimer::timeout, this, [this] {
            if (!m_watcher->isRunning() || m_watcher->isWaiting())
                m_notifier.alive();
        });
        m_watchdog->start(m_notifier.watchdogMs());
    }
    connect(table, &bus::ModuleTable::availability, this, [this](quint8 address, bool online) {
        if (online)
            m_answering.insert(address);
        else
            m_answering.remove(address);
        update();
    });
    connect(table, &QAbstractItemModel::modelReset, this, [this] { m_answering.clear(); });
    // The broker's state when it changes; how many wait, once a round.
    connect(publisher, &publish::Publisher::changed, this, [this] {
        if (m_publisher->state() != m_broker)
            update();
    });
}

void Reporter::publishUnder(const QString &prefix, bool discovery)
{
    m_prefix = prefix;
    for (const publish::Message &m : diagnosticSensors(prefix, discovery))
        m_publisher->setRetained(m);
    if (m_ready)
        report();
}

void Reporter::setLine(Health::Line line)
{
    m_line = line;
    if (line != Health::Watching)
        m_answering.clear();
    update();
}

void Reporter::update()
{
    // What it does while it stops is said by STOPPING=1.
    if (m_stopping)
        return;
    Health h;
    h.line = m_line;
    h.answering = m_answering.size();
    h.watched = m_table->rowCount();
    switch (m_publisher->state()) {
    case publish::Publisher::Off:
        h.broker = Health::NoBroker;
        break;
    case publish::Publisher::Connecting:
        h.broker = Health::Connecting;
        break;
    case publish::Publisher::Connected:
        h.broker = Health::Connected;
        break;
    case publish::Publisher::Retrying:
        h.broker = Health::Lost;
        break;
    case publish::Publisher::Refused:
        h.broker = Health::Refused;
        break;
    }
    h.waiting = m_publisher->outbox().waiting();
    m_broker = m_publisher->state();
    m_notifier.status(statusLine(h));
}

void Reporter::report()
{
    if (m_prefix.isEmpty())
        return;
    Figures f = m_tally->take();
    f.outbox = m_publisher->outbox().waiting();
    f.spooled = m_spool ? m_spool->written() : 0;
    f.dropped = m_publisher->outbox().dropped();
    f.reconnects = quint64(qMax(0, m_publisher->connections() - 1));
    f.rescans = m_rescans;
    f.modulesFound = m_table->rowCount();
    m_publisher->setRetained({diagnosticsTopic(m_prefix), diagnosticsJson(f, m_sections ? m_sections() : Sections()), true});
}

void Reporter::reloading()
{
    m_notifier.reloading();
}

void Reporter::reloaded()
{
    if (m_ready)
        m_notifier.ready();
}

void Reporter::stopping()
{
    m_notifier.stopping();
    m_stopping = true;
    report();
}

} // namespace gateway
