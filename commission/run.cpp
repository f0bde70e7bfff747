#include "commission/run.h"

#include "bus/scan.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"

#include <QCoreApplication>

namespace commission {

namespace {
constexpr int kReadsAtNewRate = 4;
}

// Texts are translated in the context "commission", named in full at every
// text for the catalogue's tools to find.
namespace {

// The serial number as the information reply shows it: each decimal pair
// written as one byte, read back in hexadecimal.
QString asReadBack(const QString &serial)
{
    return QString::fromLatin1(logger::serialNumberWrite(serial, 0).mid(5, 6).toHex());
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

Run::Run(const Plan &plan, const QString &serialNumber)
    : m_plan(plan)
    , m_serial(serialNumber)
{
}

std::optional<Request> Run::next(qint64 now) const
{
    if (m_result != Running || m_stopping || m_step == Step::Report)
        return std::nullopt;
    switch (m_step) {
    case Step::Find: // at address 0, every rate in turn, as Link's search does
        return Request{rtu::buildRequest(0, rtu::ReadRegisters, rtu::DeviceAddress, 1), rtu::SearchRates[m_phase], 300000};
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
    if (m_step == Step::Find) {
        if (outcome == Exchange::Silent) {
            if (++m_phase == int(std::size(rtu::SearchRates)))
                fail(QCoreApplication::translate("commission", "no module answers at any rate"));
        } else if (outcome == Exchange::Garbled) {
            m_collided = true;
            fail(QCoreApplication::translate("commission", "More than one module answers: keep only the one to commission on the line."));
        } else if (answered(outcome, reply)) {
            m_oldRate = rtu::SearchRates[m_phase];
            m_oldAddress = rtu::registerAt(reply, 0) & 0xFF;
            done(QCoreApplication::translate("commission", "address %1 at %2 baud").arg(m_oldAddress).arg(m_oldRate));
        }
    } else if (m_step == Step::BaudRate && m_phase > 0 && m_phase < kReadsAtNewRate && outcome != Exchange::Answered) {
        ++m_phase; // not at its new rate yet
    } else if (!answered(outcome, reply)) {
    } else if (m_step == Step::Address) {
        const int echoed = quint8(reply[4]) << 8 | quint8(reply[5]);
        if (echoed == m_plan.address)
            done(QCoreApplication::translate("commission", "address %1").arg(echoed));
        else
            fail(QCoreApplication::translate("commission", "the module echoed address %1").arg(echoed));
    } else if (m_step == Step::SerialNumber) {
        if (m_phase++ == 0)
            return;
        const logger::Info info = logger::parseInfo(reply);
        m_model = info.model;
        if (info.serial == asReadBack(m_serial))
            done(QCoreApplication::translate("commission", "%1, model %2").arg(info.serial).arg(info.model));
        else
            fail(QCoreApplication::translate("commission", "read back %1 where %2 was written").arg(info.serial, asReadBack(m_serial)));
    } else if (m_step == Step::LoggerSetup) {
        if (m_phase++ == 0)
            return;
        const logger::Settings settings = logger::parseSettings(reply);
        const QString read = QCoreApplication::translate("commission", "%1, %2 s").arg(modeText(settings.recordMode)).arg(settings.sampleSeconds);
        if (settings.recordMode == m_plan.recordMode && settings.sampleSeconds == m_plan.sampleSeconds)
            done(read);
        else
            fail(QCoreApplication::translate("commission", "read back %1").arg(read));
    } else if (m_step == Step::BaudRate) {
        if (m_phase++ == 0 && m_plan.baudRate != m_oldRate)
            return; // the echo came at the old rate; the module now runs at the new one
        m_readings = bus::answerOf(outcome, reply).values; // the bus's own reading of the five registers
        done(QCoreApplication::translate("commission", "%1 baud, %2 °C, %3 %RH").arg(m_plan.baudRate).arg(m_readings[0], 0, 'f', 1).arg(m_readings[1], 0, 'f', 1));
    }
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

void Run::reported(bool ok, const QString &reason)
{
    m_verdicts.append({Step::Report, !ok, ok ? QCoreApplication::translate("commission", "appended") : reason});
    m_result = failure() ? Failed : m_step == Step::Report ? Ok : Stopped;
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
