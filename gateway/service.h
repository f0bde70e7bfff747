#ifndef HYGROVANE_GATEWAY_SERVICE_H
#define HYGROVANE_GATEWAY_SERVICE_H

#include "bus/schedule.h"
#include "gateway/config.h"
#include "gateway/diagnostics.h"
#include "gateway/identity.h"
#include "trend/csvfile.h"

#include <memory>

#include <QElapsedTimer>
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

class Reporter;
class Spool;

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
    ~Service() override;

    // False, having said why, when it cannot begin at all; `code` is the
    // exit code for that.
    bool start(int *code);
    // Publishing ends once the outbox is empty (or after 5 s; at once with
    // the readings in a spool and no broker): "offline", then `finished`.
    void shutdown();
    // A configuration read again: what changed is applied. `problem`: it
    // could not be read, and the one in use stays.
    void reload(const Config &config, const QString &problem = QString());

signals:
    void finished(int code);

private:
    // The line shared: each listener's figures under its name, for the diagnostics.
    Sections sharing() const;
    void say(const QString &text) const;
    void openLine();
    void probe(int step);
    void linked(qint32 rate);
    void scan();
    void watch();
    void lineOpen();
    void lineLost(const QString &reason, bool opening);
    void publisherChanged();
    void retryLater();
    void startPublishing();
    void looked(const QHash<QString, QByteArray> &retained);
    void roundEnded();
    void record(const QByteArray &rows);
    void restartWatch();
    bool openRecord(const QString &path);
    Identity identity() const;

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
    Reporter *m_reporter;
    std::unique_ptr<Spool> m_spool;
    QByteArray m_unrecorded; // with a spool: rows recorded once their round is kept
    Config m_claimed;        // the broker settings last published under
    QDateTime m_started;
    bool m_everClaimed = false;
    bool m_spoolFailing = false;
    qint32 m_rate = 0;
    int m_answerMs = 0;
    bool m_found = false;     // the modules are known: found by the scan, or listed
    // What was said of the port last, each once rather than every 2 s: down
    // since the start, open, or lost after it was.
    enum { PortUnsaid, PortDown, PortOpen, PortLost } m_said = PortUnsaid;
    bool m_stopping = false;
    int m_publisherState = 0;
    bool m_everConnected = false;
    QString m_brokerCause; // what was said of the broker last
    quint64 m_dropped = 0;
    bus::Overrun m_overrun;
    QElapsedTimer m_stopClock;
};

} // namespace gateway

#endif
