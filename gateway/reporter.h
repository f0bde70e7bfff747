#ifndef HYGROVANE_GATEWAY_REPORTER_H
#define HYGROVANE_GATEWAY_REPORTER_H

#include "gateway/diagnostics.h"
#include "gateway/notify.h"

#include <QObject>
#include <QSet>

#include <functional>

class QTimer;
namespace bus {
class ModuleTable;
class Watcher;
}
namespace publish {
class Publisher;
}

namespace gateway {

class Spool;

// What the gateway tells of itself: the service manager how it is, through
// the Notifier, and the broker what it has done, through the Tally's
// figures retained under <prefix>/diagnostics once a minute. It only
// listens to the rooms the service wires.
class Reporter : public QObject
{
    Q_OBJECT

public:
    Reporter(bus::Watcher *watcher, bus::ModuleTable *table, publish::Publisher *publisher, QObject *parent = nullptr);

    // Where the figures go; the sensors announced with discovery, else
    // cleared. Again after every start of the publisher.
    void publishUnder(const QString &prefix, bool discovery);
    void setSpool(const Spool *spool) { m_spool = spool; }
    // Figures of others', each under its name, asked for at every report.
    void setSections(std::function<Sections()> sections) { m_sections = std::move(sections); }
    void setLine(Health::Line line);
    void rescanned() { ++m_rescans; }
    void reloading();
    void reloaded();
    // The last figures published, and the manager told.
    void stopping();

private:
    void report();
    void update();

    bus::Watcher *m_watcher;
    bus::ModuleTable *m_table;
    publish::Publisher *m_publisher;
    const Spool *m_spool = nullptr;
    std::function<Sections()> m_sections;
    Tally *m_tally;
    Notifier m_notifier;
    QTimer *m_watchdog;
    QString m_prefix;
    Health::Line m_line = Health::Opening;
    QSet<quint8> m_answering;
    quint64 m_rescans = 0;
    bool m_ready = false;
    bool m_stopping = false;
    int m_broker = -1; // the publisher's state last told
};

} // namespace gateway

#endif
