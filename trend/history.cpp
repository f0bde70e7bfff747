#include "trend/history.h"

#include <algorithm>
#include <cmath>

namespace trend {

qint64 spanMsecs(Span span)
{
    static const qint64 msecs[SpanCount] = {10 * 60 * 1000, 60 * 60 * 1000, 24 * 60 * 60 * 1000};
    return msecs[span];
}

void History::add(qint64 msecs, const Values &values)
{
    m_newest = std::max(m_newest, msecs);
    for (int span = 0; span < SpanCount; ++span) {
        const qint64 width = spanMsecs(Span(span)) / MaxPoints;
        const qint64 key = msecs / width;
        // The buckets that end before the span do, go.
        const qint64 firstKey = (m_newest - spanMsecs(Span(span))) / width;
        for (int series = 0; series < SeriesCount; ++series) {
            std::deque<Bucket> &buckets = m_buckets[span][series];
            if (!std::isnan(values[series]) && key >= firstKey) {
                // Nearly always the last bucket, or one after it.
                const auto at = std::lower_bound(buckets.begin(), buckets.end(), key,
                                                 [](const Bucket &b, qint64 k) { return b.key < k; });
                if (at != buckets.end() && at->key == key)
                    at->sumMsecs += double(msecs), at->sumValue += values[series], ++at->count;
                else
                    buckets.insert(at, Bucket{key, double(msecs), values[series], 1});
            }
            while (!buckets.empty() && buckets.front().key < firstKey)
                buckets.pop_front();
        }
    }
}

QVector<Point> History::points(Span span, Series series) const
{
    QVector<Point> out;
    const std::deque<Bucket> &buckets = m_buckets[span][series];
    out.reserve(int(buckets.size()));
    for (const Bucket &b : buckets)
        out.append({qint64(std::llround(b.sumMsecs / b.count)), b.sumValue / b.count});
    return out;
}

} // namespace trend
