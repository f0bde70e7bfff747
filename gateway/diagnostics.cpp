#include "gateway/diagnostics.h"

#include "bus/watcher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>

namespace gateway {

QByteArray diagnosticsJson(const Figures &f, const Sections &more)
{
    QJsonObject o{{QStringLiteral("uptime_s"), f.uptimeS},
                  {QStringLiteral("rounds"), qint64(f.rounds)},
                  {QStringLiteral("round_ms"), f.roundMs},
                  {QStringLiteral("line_busy_pct"), qRound(f.lineBusyPct * 10) / 10.0},
                  {QStringLiteral("polls"), qint64(f.polls)},
                  {QStringLiteral("answers"), qint64(f.answers)},
                  {QStringLiteral("misses"), qint64(f.misses)},
                  {QStringLiteral("garbled"), qint64(f.garbled)},
                  {QStringLiteral("late_answers"), qint64(f.lateAnswers)},
                  {QStringLiteral("outbox"), f.outbox},
                  {QStringLiteral("spooled"), qint64(f.spooled)},
                  {QStringLiteral("dropped"), qint64(f.dropped)},
                  {QStringLiteral("reconnects"), qint64(f.reconnects)},
                  {QStringLiteral("rescans"), qint64(f.rescans)},
                  {QStringLiteral("modules_found"), f.modulesFound}};
    for (const auto &section : more)
        o.insert(section.first, section.second);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString diagnosticsTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/diagnostics");
}

QVector<publish::Message> diagnosticSensors(const QString &prefix, bool announce)
{
    struct Sensor
    {
        const char *key, *name, *unit, *stateClass;
    };
    static const Sensor sensors[] = {{"round_ms", "Round time", "ms", "measurement"},
                                     {"misses", "Misses", nullptr, "total_increasing"},
                                     {"outbox", "Readings waiting", nullptr, "measurement"},
                                     {"dropped", "Readings dropped", nullptr, "total_increasing"}};
    // As the modules' sensors name their node: Home Assistant's characters only.
    const QString node = QString(prefix).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    const QString device = node + QStringLiteral("_gateway");
    QVector<publish::Message> out;
    for (const Sensor &s : sensors) {
        const QString id = device + QLatin1Char('_') + QLatin1String(s.key);
        QJsonObject config{{QStringLiteral("name"), QLatin1String(s.name)},
                           {QStringLiteral("entity_category"), QStringLiteral("diagnostic")},
                           {QStringLiteral("state_class"), QLatin1String(s.stateClass)},
                           {QStringLiteral("state_topic"), diagnosticsTopic(prefix)},
                           {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(s.key))},
                           {QStringLiteral("availability_topic"), publish::statusTopic(prefix)},
                           {QStringLiteral("unique_id"), id},
                           {QStringLiteral("object_id"), id},
                           {QStringLiteral("device"), QJsonObject{{QStringLiteral("identifiers"), QJsonArray{device}},
                                                                  {QStringLiteral("name"), QStringLiteral("Gateway (%1)").arg(prefix)},
                                                                  {QStringLiteral("manufacturer"), QStringLiteral("Hygrovane")},
                                                                  {QStringLiteral("model"), QStringLiteral("Gateway")}}}};
        if (s.unit)
            config.insert(QStringLiteral("unit_of_measurement"), QLatin1String(s.unit));
        out.append({QStringLiteral("homeassistant/sensor/%1/gateway_%2/config").arg(node, QLatin1String(s.key)),
                    announce ? QJsonDocument(config).toJson(QJsonDocument::Compact) : QByteArray(), true});
    }
    return out;
}

Tally::Tally(bus::Watcher *watcher, QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_up.start();
    m_span.start();
    m_timer->setInterval(ReportMs);
    connect(m_timer, &QTimer::timeout, this, &Tally::due);
    connect(watcher, &bus::Watcher::polled, this, &Tally::polled);
    connect(watcher, &bus::Watcher::roundEnded, this, [this](qint64 roundMs) {
        ++m_figures.rounds;
        m_figures.roundMs = roundMs;
    });
}

void Tally::start()
{
    m_timer->start();
}

void Tally::polled(const bus::Answer &answer, qint64 lineUs, bool late)
{
    m_busyUs += lineUs;
    if (late) {
        ++m_figures.lateAnswers;
        return;
    }
    ++m_figures.polls;
    m_figures.answers += answer.kind == bus::Answer::Values || answer.kind == bus::Answer::Refusal;
    m_figures.misses += answer.kind == bus::Answer::Silence;
    m_figures.garbled += answer.kind == bus::Answer::Garbled;
}

Figures Tally::take()
{
    Figures f = m_figures;
    f.uptimeS = m_up.elapsed() / 1000;
    const qint64 spanUs = qMax<qint64>(1, m_span.nsecsElapsed() / 1000);
    f.lineBusyPct = qMin(100.0, 100.0 * double(m_busyUs) / double(spanUs));
    m_span.start();
    m_busyUs = 0;
    return f;
}

} // namespace gateway
