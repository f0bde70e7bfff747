#include "trend/history.h"

#include <algorithm>
#include <cmath>

namespace trend {

qint64 spanMsecs(Span span)
{
    static const qint64 msecs[SpanCount] = {10 * 60 * 1000, 60 * 60 * 1000, 24 * 60 * 60 * 1000};
    return msecs[span];
}

QString tickFormat(qint64 intervalMsecs, const QTime &firstTick)
{
    const bool wholeMinutes = intervalMsecs % 60000 == 0 && firstTick.second() == 0 && firstTick.msec() == 0;
    return wholeMinutes ? QStringLiteral("hh:mm") : QStringLiteral("hh:mm:ss");
}

void History::add(qint64 msecs, const Values &values)
{
    const bool putRight = msecs < m_newest - StepBack;
    m_newest = putRight ? msecs : std::max(m_newest, msecs);
    for (int span = 0; span < SpanCount; ++span) {
        const qint64 key = msecs / (spanMsecs(Span(span)) / MaxPoints);
        for (int series = 0; series < SeriesCount; ++series) {
            std::deque<Bucket> &buckets = m_buckets[span][series];
            // A bucket with readings of both passes goes whole.
            while (putRight && !buckets.empty() && buckets.back().last > msecs)
                buckets.pop_back();
            if (!std::isnan(values[series])) {
                // Nearly always the last bucket, or one after it.
                const auto at = std::lower_bound(buckets.begin(), buckets.end(), key,
                                                 [](const Bucket &b, qint64 k) { return b.key < k; });
                if (at != buckets.end() && at->key == key)
                    at->sumMsecs += double(msecs), at->sumValue += values[series], ++at->count,
                        at->last = std::max(at->last, msecs);
                else
                    buckets.insert(at, Bucket{key, double(msecs), values[series], 1, msecs});
            }
            // As many as the span can show, however far the clock has run
            // ahead: the past comes back into view when it is put right.
            while (buckets.size() > MaxPoints + 1)
                buckets.pop_front();
        }
    }
}

QVector<Point> History::points(Span span, Series series) const
{
    QVector<Point> out;
    const std::deque<Bucket> &buckets = m_buckets[span][series];
    const qint64 firstKey = (m_newest - spanMsecs(span)) / (spanMsecs(span) / MaxPoints);
    auto from = std::lower_bound(buckets.begin(), buckets.end(), firstKey,
                                 [](const Bucket &b, qint64 k) { return b.key < k; });
    out.reserve(int(buckets.end() - from));
    for (auto b = from; b != buckets.end(); ++b)
        out.append({qint64(std::llround(b->sumMsecs / b->count)), b->sumValue / b->count});
    return out;
}

} // namespace trend
