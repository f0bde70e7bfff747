#include "commission/run.h"

#include "bus/scan.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace commission {

namespace {
constexpr int kReadsAtNewRate = 4;
}

// Texts are translated in the context "commission", named in full at every
// text for the catalogue's tools to find.
namespace {

// "9600", "9600 and 19200", "4800, 9600 and 19200".
QString rateList(QVector<qint32> rates)
{
    std::sort(rates.begin(), rates.end());
    QStringList all;
    for (const qint32 rate : rates)
        all << QString::number(rate);
    if (all.size() < 2)
        return all.join(QString());
    const QString last = all.takeLast();
    return QCoreApplication::translate("commission", "%1 and %2").arg(all.join(QStringLiteral(", ")), last);
}

QString modeText(quint8 mode)
{
    switch (mode) {
    case logger::RecordAfterSetup:
        return QCoreApplication::translate("commission", "recording after setup");
    case logger::RecordFromStartTime:
        return QCoreApplication::translate("commission", "recording from the start time");
    case logger::MonitorOnly:
        return QCoreApplication::translate("commission", "monitoring only");
    default:
        return QCoreApplication::translate("commission", "mode %1").arg(mode);
    }
}

} // namespace

QString serialDigits(const QString &readBack)
{
    QString digits;
    for (int i = 0; i + 1 < readBack.size(); i += 2)
        digits += QStringLiteral("%1").arg(readBack.mid(i, 2).toInt(nullptr, 16), 2, 10, QLatin1Char('0'));
    return digits;
}

QString stepName(Step step)
{
    switch (step) {
    case Step::Find:
        return QCoreApplication::translate("commission", "Find");
    case Step::Address:
        return QCoreApplication::translate("commission", "Address");
    case Step::SerialNumber:
        return QCoreApplication::translate("commission", "Serial number");
    case Step::LoggerSetup:
        return QCoreApplication::translate("commission", "Logger setup");
    case Step::BaudRate:
        return QCoreApplication::translate("commission", "Baud rate");
    default:
        return QCoreApplication::translate("commission", "Report");
    }
}

Run::Run(const Plan &plan, const QString &serialNumber, const QStringList &intervals)
    : m_plan(plan)
    , m_serial(serialNumber)
    , m_intervals(intervals)
{
}

QString Run::interval(int seconds) const
{
    // A module may read back a value no list offers.
    const int index = logger::indexForSampleSeconds(seconds);
    return index >= 0 && index < m_intervals.size() ? m_intervals[index]
                                                    : QCoreApplication::translate("commission", "%1 s").arg(seconds);
}

std::optional<Request> Run::next(qint64 now) const
{
    if (m_result != Running || m_stopping || m_step == Step::Report)
        return std::nullopt;
    switch (m_step) {
    case Step::Find: // at address 0, every rate in turn, then the logger of the one found
        if (m_phase < int(std::size(rtu::SearchRates)))
            return Request{rtu::buildRequest(0, rtu::ReadRegisters, rtu::DeviceAddress, 1), rtu::SearchRates[m_phase], 300000};
        return Request{logger::infoRequest(), m_oldRate, 500000};
    case Step::Address:
        return Request{rtu::buildRequest(0, rtu::WriteRegister, rtu::DeviceAddress, quint16(m_plan.address)), m_oldRate, 500000};
    case Step::SerialNumber:
        if (m_phase == 0)
            return Request{logger::serialNumberWrite(m_serial, 0), m_oldRate, 1500000};
        return Request{logger::infoRequest(), m_oldRate, 500000};
    case Step::LoggerSetup:
        if (m_phase == 0)
            return Request{logger::setupFrame(quint32(now), m_plan.recordMode, quint16(m_plan.sampleSeconds), quint32(m_plan.start)),
                           m_oldRate, 1000000};
        return Request{logger::settingsRequest(), m_oldRate, 500000};
    default: // the baud rate, when it differs, then the readings at the new address and rate
        if (m_phase == 0 && m_plan.baudRate != m_oldRate) {
            int code = 1;
            while (rtu::baudRateForCode(code) != m_plan.baudRate && code < 6)
                ++code;
            return Request{rtu::buildRequest(0, rtu::WriteRegister, rtu::BaudRateCode, quint16(code)), m_oldRate, 500000};
        }
        // A module may follow its new rate a moment after the echo: the read
        // is asked again, a quarter of a second apart, for up to a second.
        return Request{bus::measurementRead(quint8(m_plan.address)), m_plan.baudRate,
                       m_plan.baudRate != m_oldRate ? 1000000 / kReadsAtNewRate : 500000};
    }
}

bool Run::answered(Exchange::Outcome outcome, const QByteArray &reply)
{
    if (outcome == Exchange::Silent)
        fail(QCoreApplication::translate("commission", "no answer"));
    else if (outcome == Exchange::Garbled)
        fail(QCoreApplication::translate("commission", "a reply that makes no frame"));
    else if (!logger::isFrame(reply) && rtu::isException(quint8(reply[1])))
        fail(QCoreApplication::translate("commission", "the module refused the request (exception %1)").arg(quint8(reply[2])));
    else
        return true;
    return false;
}

void Run::take(Exchange::Outcome outcome, const QByteArray &reply)
{
    // What the line heard belongs to this exchange only.
    const Chorus chorus = std::exchange(m_chorus, Chorus());
    if (m_step == Step::Find)
        return find(outcome, reply, chorus);
    if (outcome != Exchange::Answered && writing())
        unconfirmed(); // the module may have taken it all the same
    if (m_step == Step::BaudRate && m_phase > 0 && m_phase < kReadsAtNewRate && outcome != Exchange::Answered) {
        ++m_phase; // not at its new rate yet
    } else if (!answered(outcome, reply)) {
    } else if (m_step == Step::Address) {
        const int echoed = quint8(reply[4]) << 8 | quint8(reply[5]);
        if (echoed == m_plan.address)
            m_written[int(Step::Address)] = Taken, done(QCoreApplication::translate("commission", "address %1").arg(echoed));
        else
            fail(QCoreApplication::translate("commission", "the module echoed address %1").arg(echoed));
    } else if (m_step == Step::SerialNumber) {
        if (m_phase++ == 0) {
            m_written[int(Step::SerialNumber)] = Taken;
            return;
        }
        const logger::Info info = logger::parseInfo(reply);
        m_model = info.model;
        // In the form it was written in, which a technician labels the module with.
        const QString read = serialDigits(info.serial);
        if (read == m_serial)
            done(QCoreApplication::translate("commission", "%1, model %2").arg(read).arg(info.model));
        else
            fail(QCoreApplication::translate("commission", "read back %1 where %2 was written").arg(read, m_serial));
    } else if (m_step == Step::LoggerSetup) {
        if (m_phase++ == 0) {
            m_written[int(Step::LoggerSetup)] = Taken;
            return;
        }
        const logger::Settings settings = logger::parseSettings(reply);
        const QString read = QCoreApplication::translate("commission", "%1, %2").arg(modeText(settings.recordMode), interval(settings.sampleSeconds));
        if (settings.recordMode == m_plan.recordMode && settings.sampleSeconds == m_plan.sampleSeconds)
            done(read);
        else
            fail(QCoreApplication::translate("commission", "read back %1").arg(read));
    } else if (m_step == Step::BaudRate) {
        // The echo came at the old rate: the module now runs at the new one,
        // whether or not it answers there. A rate kept is set once read at.
        m_written[int(Step::BaudRate)] = Taken;
        if (m_phase++ == 0 && m_plan.baudRate != m_oldRate)
            return;
        m_readings = bus::answerOf(outcome, reply).values; // the bus's own reading of the five registers
        done(QCoreApplication::translate("commission", "%1 baud, %2 °C, %3 %RH").arg(m_plan.baudRate).arg(m_readings[0], 0, 'f', 1).arg(m_readings[1], 0, 'f', 1));
    }
}

void Run::find(Exchange::Outcome outcome, const QByteArray &reply, const Chorus &chorus)
{
    constexpr int rates = int(std::size(rtu::SearchRates));
    if (m_phase == rates) { // the logger's identity, to know a module given its number already
        if (outcome == Exchange::Answered && logger::isFrame(reply))
            m_foundSerial = serialDigits(logger::parseInfo(reply).serial);
        done(QCoreApplication::translate("commission", "address %1 at %2 baud").arg(m_oldAddress).arg(m_oldRate));
        return;
    }
    // Every rate is asked, even after one answered: a module in service at
    // another rate must not be the one written to.
    const qint32 rate = rtu::SearchRates[m_phase];
    // Two modules that answer one after the other both heard it: whatever
    // is written at address 0 would reach them both.
    if (chorus.answers > 1) {
        m_collided = true;
        m_oldAddress = 0, m_oldRate = 0;
        const qint64 apartMs = (chorus.secondUs - chorus.firstUs + 500) / 1000;
        // Garbled bytes beside the answers: one more at least, maybe several.
        fail(chorus.modules() == 2 && !chorus.garbled
                 ? QCoreApplication::translate("commission", "Two modules answer at %1 baud (the second %2 ms after the first): keep only the one to commission on the line.")
                       .arg(rate).arg(apartMs)
                 : (chorus.garbled ? QCoreApplication::translate("commission", "At least %1 modules answer at %2 baud (the second %3 ms after the first): keep only the one to commission on the line.")
                                   : QCoreApplication::translate("commission", "%1 modules answer at %2 baud (the second %3 ms after the first): keep only the one to commission on the line."))
                       .arg(chorus.modules()).arg(rate).arg(apartMs));
        return;
    }
    if (outcome == Exchange::Garbled || chorus.garbled) {
        m_garbledAt << rate;
    } else if (outcome == Exchange::Answered && !rtu::isException(quint8(reply[1]))) {
        m_answeredAt << rate;
        m_oldRate = rate;
        m_oldAddress = rtu::registerAt(reply, 0) & 0xFF;
    } else if (outcome == Exchange::Answered) {
        m_answeredAt << rate; // a refusal: a module is there, though it keeps its address to itself
        m_oldRate = rate;
    }
    if (++m_phase < rates)
        return;
    if (!m_garbledAt.isEmpty() || m_answeredAt.size() > 1) {
        m_collided = true;
        m_oldAddress = 0, m_oldRate = 0;
        fail(QCoreApplication::translate("commission", "More than one module answers (at %1 baud): keep only the one to commission on the line.")
                 .arg(rateList(m_answeredAt + m_garbledAt)));
    } else if (m_answeredAt.isEmpty()) {
        fail(QCoreApplication::translate("commission", "no module answers at any rate"));
    }
}

bool Run::writing() const
{
    if (m_phase != 0)
        return false;
    return m_step == Step::Address || m_step == Step::SerialNumber || m_step == Step::LoggerSetup
        || (m_step == Step::BaudRate && m_plan.baudRate != m_oldRate);
}

void Run::unconfirmed()
{
    QString value;
    switch (m_step) {
    case Step::Address:
        value = QCoreApplication::translate("commission", "address %1").arg(m_plan.address);
        break;
    case Step::SerialNumber:
        value = m_serial;
        break;
    case Step::LoggerSetup:
        value = QCoreApplication::translate("commission", "%1, %2").arg(modeText(m_plan.recordMode), interval(m_plan.sampleSeconds));
        break;
    default:
        value = QCoreApplication::translate("commission", "%1 baud").arg(m_plan.baudRate);
    }
    m_written[int(m_step)] = Unconfirmed;
    m_verdicts.append({m_step, false, QCoreApplication::translate("commission", "%1 (not confirmed)").arg(value)});
}

void Run::cutOff()
{
    if (m_result != Running || !writing())
        return;
    // Its answer came, and the line was listening on for a second module's.
    if (m_chorus.answers == 1 && !m_chorus.garbled) {
        const QByteArray answer = m_chorus.first; // take() starts the next exchange afresh
        return take(Exchange::Answered, answer);
    }
    unconfirmed();
}

void Run::abort(const QString &why)
{
    if (m_result == Running)
        fail(why);
}

void Run::done(const QString &text)
{
    m_verdicts.append({m_step, false, text});
    m_step = Step(int(m_step) + 1);
    m_phase = 0;
}

void Run::fail(const QString &why)
{
    m_verdicts.append({m_step, true, why});
    m_result = Failed;
}

void Run::stop()
{
    m_stopping = true;
}

void Run::stop(Step told)
{
    m_stopping = true;
    m_told = told;
}

void Run::stop(const QString &why)
{
    m_stopping = true;
    m_stopReason = why;
    m_verdicts.append({m_step, false, why});
}

void Run::reported(bool ok, const QString &reason)
{
    m_verdicts.append({Step::Report, !ok, ok ? QCoreApplication::translate("commission", "appended") : reason});
    m_result = failure() ? Failed : m_step == Step::Report ? Ok : Stopped;
}

QString Run::outcome() const
{
    if (const Verdict *failed = failure())
        return QCoreApplication::translate("commission", "Result: failed at %1").arg(stepName(failed->step));
    if (m_result == Ok)
        return QCoreApplication::translate("commission", "Result: ok");
    return QCoreApplication::translate("commission", "Result: stopped at %1").arg(stepName(stoppedAt()));
}

const Run::Verdict *Run::failure() const
{
    for (const Verdict &verdict : m_verdicts) {
        if (verdict.failed)
            return &verdict;
    }
    return nullptr;
}

} // namespace commission
