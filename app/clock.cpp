#include "app/clock.h"

namespace {
std::function<QDateTime()> &override()
{
    static std::function<QDateTime()> clock;
    return clock;
}
} // namespace

QDateTime currentDateTime()
{
    return override() ? override()() : QDateTime::currentDateTime();
}

void setClockForTesting(std::function<QDateTime()> clock)
{
    override() = std::move(clock);
}
