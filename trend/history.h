#ifndef HYGROVANE_HISTORY_H
#define HYGROVANE_HISTORY_H

#include <QString>
#include <QTime>
#include <QVector>
#include <QtGlobal>

#include <array>
#include <deque>
#include <map>

// The readings over time that the trend window draws: up to a day of them,
// kept for each span the window offers as at most about 2,000 points a series,
// each the mean of the readings in one time bucket. Adding a reading touches
// only the newest bucket, and drawing costs the same whatever the span.
namespace trend {

enum Series { Temperature, Humidity, DewPoint, WetBulb, SeriesCount };
enum Span { TenMinutes, OneHour, OneDay, SpanCount };

// A reading in °C and %RH; NaN for a value it did not carry.
using Values = std::array<double, SeriesCount>;

constexpr int MaxPoints = 2000;
qint64 spanMsecs(Span span);
// How the time axis labels its ticks: in minutes while every tick falls on a
// whole minute, with seconds otherwise, lest one tick read 09:17 at one draw
// and 09:18 at the next as the span slides.
QString tickFormat(qint64 intervalMsecs, const QTime &firstTick);

struct Point
{
    qint64 msecs;
    double value;
};

class History
{
public:
    // msecs since the epoch. A reading later than every other one is the
    // common case; one a little earlier (the clock slewed) is sorted in. One
    // earlier by more than StepBack means the clock was put right: what was
    // added after that moment came from a wrong clock and is dropped, so the
    // readings of two passes through the same minutes are never mixed.
    void add(qint64 msecs, const Values &values);
    static constexpr qint64 StepBack = 5000;
    // Oldest first: one point for each bucket of span / MaxPoints that reaches
    // into the span before the newest reading, at the mean time and value of
    // its readings. Buckets are aligned to the epoch, so they stay put as
    // readings arrive.
    QVector<Point> points(Span span, Series series) const;
    qint64 newest() const { return m_newest; }

private:
    struct Bucket
    {
        qint64 key;
        double sumMsecs;
        double sumValue;
        int count;
        qint64 last; // the latest reading in it
    };
    std::deque<Bucket> m_buckets[SpanCount][SeriesCount];
    qint64 m_newest = 0;
};

// One history a module, by its address.
using Histories = std::map<quint8, History>;

} // namespace trend

#endif
