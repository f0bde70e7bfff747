#ifndef HYGROVANE_GATEWAY_DIAGNOSTICS_H
#define HYGROVANE_GATEWAY_DIAGNOSTICS_H

#include "bus/scan.h"
#include "publish/topics.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QPair>
#include <QVector>

class QTimer;
namespace bus {
class Watcher;
}

namespace gateway {

// What the gateway has done since it started, as <prefix>/diagnostics says.
struct Figures
{
    qint64 uptimeS = 0;
    quint64 rounds = 0;
    qint64 roundMs = 0;     // the last whole round's
    double lineBusyPct = 0; // of the time since the last report
    quint64 polls = 0;
    quint64 answers = 0;    // values or a module's refusal, in time
    quint64 misses = 0;     // no answer in time, a late one among them
    quint64 garbled = 0;
    quint64 lateAnswers = 0;
    qint64 outbox = 0;      // readings waiting
    quint64 spooled = 0;    // readings written to the spool
    quint64 dropped = 0;
    quint64 reconnects = 0; // to the broker, after the first connection
    quint64 rescans = 0;
    int modulesFound = 0;
};

// Sections of others' beside the gateway's own figures, each under its name.
using Sections = QVector<QPair<QString, QJsonObject>>;
QByteArray diagnosticsJson(const Figures &figures, const Sections &more = {});
QString diagnosticsTopic(const QString &prefix);
// The most telling of them for Home Assistant, as diagnostic sensors of the
// gateway's own device; with `announce` false the same topics emptied, so
// that a broker forgets what an earlier run announced.
QVector<publish::Message> diagnosticSensors(const QString &prefix, bool announce = true);

// Counts what the watch does, and says once a minute that a report is due.
class Tally : public QObject
{
    Q_OBJECT

public:
    static constexpr int ReportMs = 60000;
    explicit Tally(bus::Watcher *watcher, QObject *parent = nullptr);
    // The watch's figures; the rest are the caller's to fill in. Begins the
    // next span of the line's busy time.
    Figures take();
    void start();

signals:
    void due();

private:
    void polled(const bus::Answer &answer, qint64 lineUs, bool late);

    Figures m_figures;
    QElapsedTimer m_up;
    QElapsedTimer m_span;
    qint64 m_busyUs = 0;
    QTimer *m_timer;
};

} // namespace gateway

#endif
