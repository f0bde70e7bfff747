#ifndef HYGROVANE_GATEWAY_SERVICE_H
#define HYGROVANE_GATEWAY_SERVICE_H

#include "gateway/config.h"
#include "trend/csvfile.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QPair>
#include <QObject>
#include <QVector>

class Line;
class QTimer;
namespace bus {
class ModuleTable;
class Scanner;
class Watcher;
}
namespace publish {
class Publisher;
}
namespace share {
class Forwarder;
class Listener;
}

namespace gateway {

// One line watched and published without a window: linked as Link does (the
// rate searched, the answer time measured), its modules found or expected,
// then polled round after round. It only reads. A port that goes away is
// tried again under the same name until it is back; every event is one line
// on standard error.
class Service : public QObject
{
    Q_OBJECT

public:
    Service(const Config &config, QObject *parent = nullptr);

    // False, having said why, when it cannot begin at all.
    bool start();
    // The listeners close first; publishing ends once the outbox is empty
    // (or after 5 s): "offline", then `finished`.
    void shutdown();
    // The line shared: each listener's figures under its name, for the diagnostics.
    QVector<QPair<QString, QJsonObject>> sharing() const;

signals:
    void finished(int code);

private:
    void say(const QString &text) const;
    void openLine();
    void probe(int step);
    void linked(qint32 rate);
    void scan();
    void watch();
    void lineLost(const QString &reason);
    void publisherChanged();
    void retryLater();

    Config m_config;
    Line *m_line;
    bus::ModuleTable *m_table;
    bus::Scanner *m_scanner;
    bus::Watcher *m_watcher;
    publish::Publisher *m_publisher;
    share::Forwarder *m_forwarder;
    QVector<share::Listener *> m_listeners;
    trend::CsvFile m_record;
    QTimer *m_retry;
    qint32 m_rate = 0;
    int m_answerMs = 0;
    bool m_found = false;     // the modules are known: found by the scan, or listed
    bool m_portDown = false;  // said once for an outage, not every 2 s
    bool m_stopping = false;
    int m_publisherState = 0;
    bool m_everConnected = false;
    quint64 m_dropped = 0;
    QElapsedTimer m_stopClock;
};

} // namespace gateway

#endif
