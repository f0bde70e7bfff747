// The line: the pseudo-terminal, time on the wire (pacing, echo, the
// adapter's latency), the modules' answers put on it and colliding, and the
// line's faults. The modules themselves are in module.cpp.
#include "modulesim.h"

#include "frames.h"

#include <QFile>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace modsim {

using namespace frames;

namespace {

qint32 clientBaudOf(int master);

// Room for the longest logger frame plus a request behind it; anything
// beyond that is line garbage and the oldest bytes go first.
constexpr int MaxBuffered = 512;

// Noise is only useful if a client can still tell it from a reply, so it
// comes well after one and a reply never follows it closely.
constexpr int NoiseAfterReplyMs = 100;
constexpr int QuietAfterNoiseMs = 50;

constexpr int BitsPerByte = 10; // start, eight data bits, stop

struct RateCode {
    int code;
    qint32 baud;
    speed_t speed;
};
constexpr RateCode Rates[] = {
    {1, 1200, B1200},   {2, 2400, B2400},   {3, 4800, B4800},
    {4, 9600, B9600},   {5, 19200, B19200}, {6, 115200, B115200},
};
// Rates a client may set that no module runs at: its own bytes still take
// their time on the wire, and come back as its echo.
constexpr std::pair<speed_t, qint32> OtherRates[] = {
    {B300, 300}, {B600, 600}, {B38400, 38400}, {B57600, 57600}, {B230400, 230400},
};

speed_t speedFor(qint32 baud)
{
    for (const RateCode &r : Rates) {
        if (r.baud == baud)
            return r.speed;
    }
    return B0;
}

} // namespace

// ---- the line --------------------------------------------------------------

ModuleSim::ModuleSim(QObject *parent)
    : QObject(parent)
    , m_gapTimer(new QTimer(this))
    , m_pumpTimer(new QTimer(this))
    , m_noiseTimer(new QTimer(this))
{
    m_clock.start();

    m_gapTimer->setSingleShot(true);
    m_gapTimer->setInterval(ResyncGapMs);
    connect(m_gapTimer, &QTimer::timeout, this, &ModuleSim::onResyncGap);

    // Paced bytes go out as time passes, a millisecond's worth at a time.
    m_pumpTimer->setSingleShot(true);
    m_pumpTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pumpTimer, &QTimer::timeout, this, &ModuleSim::pump);

    m_noiseTimer->setSingleShot(true);
    m_noiseTimer->setInterval(NoiseAfterReplyMs);
    connect(m_noiseTimer, &QTimer::timeout, this, &ModuleSim::onNoiseTimer);

    // The first module stays for the life of the line, so what is said of
    // "the module" can be said through the line.
    addModule(1, 9600);
    connect(first(), &Module::addressChanged, this, &ModuleSim::addressChanged);
    connect(first(), &Module::baudRateChanged, this, &ModuleSim::baudRateChanged);
    connect(first(), &Module::valuesChanged, this, &ModuleSim::valuesChanged);
}

ModuleSim::~ModuleSim()
{
    stop();
}

bool ModuleSim::start(const QString &linkPath)
{
    stop();
    m_error.clear();

    auto fail = [this](const QString &what) {
        m_error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
        stop();
        return false;
    };

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    // Not handed to a program the test starts: the line would live on in it
    // after stop(), as no pulled adapter does.
    if (m_master >= 0)
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    if (m_master < 0)
        return fail(QStringLiteral("posix_openpt"));
    if (::grantpt(m_master) != 0)
        return fail(QStringLiteral("grantpt"));
    if (::unlockpt(m_master) != 0)
        return fail(QStringLiteral("unlockpt"));
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    m_slavePath = QString::fromLocal8Bit(name);

    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(QStringLiteral("fcntl"));

    // Holding the slave open ourselves means the master never sees a hang-up
    // when the client closes and reopens the port; raw mode keeps the line
    // discipline from echoing our replies back to us before a client has set
    // the line up.
    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveKeeper < 0)
        return fail(QStringLiteral("open %1").arg(m_slavePath));
    termios tio {};
    if (::tcgetattr(m_slaveKeeper, &tio) != 0)
        return fail(QStringLiteral("tcgetattr"));
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, speedFor(first()->baudRate()));
    ::cfsetospeed(&tio, speedFor(first()->baudRate()));
    if (::tcsetattr(m_slaveKeeper, TCSANOW, &tio) != 0)
        return fail(QStringLiteral("tcsetattr"));

    if (!linkPath.isEmpty()) {
        const QByteArray link = QFile::encodeName(linkPath);
        struct stat st {};
        if (::lstat(link.constData(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                errno = EEXIST;
                return fail(QStringLiteral("%1 exists and is not a link").arg(linkPath));
            }
            if (::unlink(link.constData()) != 0)
                return fail(QStringLiteral("remove stale link %1").arg(linkPath));
        }
        if (::symlink(name, link.constData()) != 0)
            return fail(QStringLiteral("symlink %1").arg(linkPath));
        m_linkPath = linkPath;
    }

    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        return fail(QStringLiteral("pipe"));
    m_reader = std::thread(&ModuleSim::listen, this, m_master, m_wake[0], ++m_run);
    return true;
}

void ModuleSim::stop()
{
    m_gapTimer->stop();
    m_pumpTimer->stop();
    m_noiseTimer->stop();
    m_events.clear();
    m_wire.clear();
    m_talks.clear();
    m_repliesOnWire = 0;
    m_downFreeUs = m_upFreeUs = m_quietUntilUs = 0;
    m_rx.clear();

    if (m_reader.joinable()) {
        const char end = 0;
        while (::write(m_wake[1], &end, 1) < 0 && errno == EINTR) {
        }
        m_reader.join();
    }
    for (int &fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    if (!m_linkPath.isEmpty()) {
        // Only our own link goes: another run may have taken the name over.
        const QByteArray link = QFile::encodeName(m_linkPath);
        char target[256] = {};
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n > 0 && QString::fromLocal8Bit(target, int(n)) == m_slavePath)
            ::unlink(link.constData());
        m_linkPath.clear();
    }
    if (m_slaveKeeper >= 0) {
        ::close(m_slaveKeeper);
        m_slaveKeeper = -1;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    m_slavePath.clear();
}

bool ModuleSim::isRunning() const
{
    return m_master >= 0;
}

QString ModuleSim::errorString() const
{
    return m_error;
}

QString ModuleSim::portPath() const
{
    return m_linkPath.isEmpty() ? m_slavePath : m_linkPath;
}

QString ModuleSim::slavePath() const
{
    return m_slavePath;
}

// ---- the modules on the line -----------------------------------------------

int ModuleSim::addModule(quint8 address, qint32 baud)
{
    if (address < 1 || address > 247 || baudCode(baud) == 0)
        return -1;
    auto *module = new Module(m_created++, this);
    module->m_address = address;
    module->m_baud = baud;
    // A line whose modules show the same numbers could hide which one answered.
    const auto same = [module](const Module *other) {
        return other->temperature() == module->temperature() && other->humidity() == module->humidity();
    };
    while (std::any_of(m_modules.cbegin(), m_modules.cend(), same))
        module->advanceDrift();
    m_modules.append(module);
    return m_modules.size() - 1;
}

bool ModuleSim::setModules(const QString &list, qint32 baud)
{
    if (baudCode(baud) == 0)
        return false;
    struct Entry {
        int address;
        qint32 rate;
        int answerDelay;
        int switchDelay;
    };
    static const QRegularExpression form(QStringLiteral("^(\\d+)(?:@(\\d+))?(?:~(\\d+))?(?:/(\\d+))?$"));
    QList<Entry> wanted;
    for (const QString &entry : list.split(QLatin1Char(','))) {
        const QRegularExpressionMatch m = form.match(entry.trimmed());
        const auto number = [&m](int part, int otherwise) {
            return m.capturedLength(part) ? m.captured(part).left(9).toInt() : otherwise;
        };
        const Entry e{number(1, 0), number(2, baud), number(3, -1), number(4, -1)};
        if (!m.hasMatch() || e.address < 1 || e.address > 247 || baudCode(e.rate) == 0)
            return false;
        wanted.append(e);
    }
    for (int i = 0; i < wanted.size(); ++i) {
        const Entry &e = wanted.at(i);
        if (i < m_modules.size()) {
            m_modules.at(i)->setAddress(quint8(e.address));
            m_modules.at(i)->setBaudRate(e.rate);
        } else {
            addModule(quint8(e.address), e.rate);
        }
        m_modules.at(i)->setAnswerDelay(e.answerDelay);
        m_modules.at(i)->setSwitchDelay(e.switchDelay);
    }
    while (m_modules.size() > wanted.size()) {
        // Later: this may run from a slot of the module's own signal.
        Module *gone = m_modules.takeLast();
        gone->setDrift(false);
        gone->deleteLater();
    }
    return true;
}

int ModuleSim::moduleCount() const
{
    return m_modules.size();
}

Module *ModuleSim::module(int index) const
{
    return index >= 0 && index < m_modules.size() ? m_modules.at(index) : nullptr;
}

quint8 ModuleSim::address() const
{
    return first()->address();
}

bool ModuleSim::setAddress(quint8 address)
{
    return first()->setAddress(address);
}

qint32 ModuleSim::baudRate() const
{
    return first()->baudRate();
}

bool ModuleSim::setBaudRate(qint32 baud)
{
    return first()->setBaudRate(baud);
}

int ModuleSim::baudCode(qint32 baud)
{
    for (const RateCode &r : Rates) {
        if (r.baud == baud)
            return r.code;
    }
    return 0;
}

qint32 ModuleSim::baudForCode(int code)
{
    for (const RateCode &r : Rates) {
        if (r.code == code)
            return r.baud;
    }
    return 0;
}

void ModuleSim::setValues(qint16 temperature, quint16 humidity, qint16 dewPoint, qint16 wetBulb)
{
    first()->setValues(temperature, humidity, dewPoint, wetBulb);
}

void ModuleSim::setClimate(qint16 temperature, quint16 humidity)
{
    first()->setClimate(temperature, humidity);
}

void ModuleSim::setDrift(bool on)
{
    first()->setDrift(on);
}

bool ModuleSim::drift() const
{
    return first()->drift();
}

void ModuleSim::setDriftInterval(int ms)
{
    first()->setDriftInterval(ms);
}

void ModuleSim::advanceDrift()
{
    first()->advanceDrift();
}

qint16 ModuleSim::temperature() const
{
    return first()->temperature();
}

quint16 ModuleSim::humidity() const
{
    return first()->humidity();
}

qint16 ModuleSim::dewPoint() const
{
    return first()->dewPoint();
}

qint16 ModuleSim::wetBulb() const
{
    return first()->wetBulb();
}

void ModuleSim::setSilent(bool on)
{
    first()->setSilent(on);
}

void ModuleSim::setReplyDelay(int ms)
{
    m_replyDelayMs = std::max(0, ms);
}

int ModuleSim::replyDelay() const
{
    return m_replyDelayMs;
}

void ModuleSim::setSwitchDelay(int ms)
{
    m_switchDelayMs = std::max(0, ms);
}

int ModuleSim::switchDelay() const
{
    return m_switchDelayMs;
}

void ModuleSim::setStray(bool on)
{
    m_stray = on;
}

void ModuleSim::setEcho(bool on)
{
    m_echo = on;
}

void ModuleSim::setPace(bool on)
{
    m_pace = on;
}

void ModuleSim::setLatency(int ms)
{
    m_latencyUs = qint64(std::max(0, ms)) * 1000;
}

qint64 ModuleSim::wireMicroseconds(qint32 baud, int bytes)
{
    return baud > 0 ? qint64(bytes) * BitsPerByte * 1000000 / baud : 0;
}

void ModuleSim::setSplit(int chunks, int gapMs)
{
    m_splitChunks = std::max(1, chunks);
    m_splitGapMs = std::max(0, gapMs);
}

void ModuleSim::setExtraByte(bool on)
{
    m_extraByte = on;
}

void ModuleSim::setCorruptCrc(bool on)
{
    m_corruptCrc = on;
}

void ModuleSim::setNoise(bool on)
{
    m_noise = on;
    if (!on)
        m_noiseTimer->stop();
}

int ModuleSim::loggerModel() const
{
    return first()->loggerModel();
}

bool ModuleSim::setLoggerModel(int model)
{
    return first()->setLoggerModel(model);
}

QByteArray ModuleSim::serialBytes() const
{
    return first()->serialBytes();
}

quint8 ModuleSim::serialPrefix() const
{
    return first()->serialPrefix();
}

bool ModuleSim::setSerialBytes(const QByteArray &six, quint8 prefix)
{
    return first()->setSerialBytes(six, prefix);
}

QByteArray ModuleSim::recordSettings() const
{
    return first()->recordSettings();
}

quint8 ModuleSim::modeByte() const
{
    return first()->modeByte();
}

int ModuleSim::recordMode() const
{
    return first()->recordMode();
}

bool ModuleSim::setRecordMode(int mode)
{
    return first()->setRecordMode(mode);
}

quint16 ModuleSim::sampleInterval() const
{
    return first()->sampleInterval();
}

void ModuleSim::setSampleInterval(quint16 seconds)
{
    first()->setSampleInterval(seconds);
}

quint32 ModuleSim::recordStart() const
{
    return first()->recordStart();
}

void ModuleSim::setRecordStart(quint32 unixSeconds)
{
    first()->setRecordStart(unixSeconds);
}

quint32 ModuleSim::setupClock() const
{
    return first()->setupClock();
}

void ModuleSim::setLongFrame(bool on)
{
    first()->setLongFrame(on);
}

bool ModuleSim::longFrame() const
{
    return first()->longFrame();
}

// ---- receiving -------------------------------------------------------------

qint32 ModuleSim::clientBaud() const
{
    return clientBaudOf(m_master);
}

namespace {

qint32 clientBaudOf(int master)
{
    // On Linux the master reports the termios of the slave, i.e. what the
    // client has set. glibc keeps one rate for both directions, but accept
    // an input rate of 0 ("same as output") as POSIX allows.
    termios tio {};
    if (master < 0 || ::tcgetattr(master, &tio) != 0)
        return 0;
    //
    // The modules run 8N1. Of the rest of the line setting only the stop bits
    // reach us: Linux forces every pseudo-terminal to 8 data bits without
    // parity whatever the client asks for, so those two cannot be checked.
    const speed_t out = ::cfgetospeed(&tio);
    const speed_t in = ::cfgetispeed(&tio);
    if ((tio.c_cflag & CSTOPB) || (in != out && in != B0))
        return 0;
    for (const RateCode &r : Rates) {
        if (r.speed == out)
            return r.baud;
    }
    return 0;
}

} // namespace

qint32 ModuleSim::portRate() const
{
    termios tio {};
    if (m_master < 0 || ::tcgetattr(m_master, &tio) != 0)
        return 0;
    const speed_t out = ::cfgetospeed(&tio);
    for (const RateCode &r : Rates) {
        if (r.speed == out)
            return r.baud;
    }
    for (const auto &[speed, baud] : OtherRates) {
        if (speed == out)
            return baud;
    }
    return 0;
}

bool ModuleSim::anyModuleAt(qint32 baud) const
{
    return std::any_of(m_modules.cbegin(), m_modules.cend(),
                       [baud](const Module *m) { return m->baudRate() == baud; });
}

void ModuleSim::listen(int master, int wake, quint64 run)
{
    pollfd fds[2] = {{master, POLLIN, 0}, {wake, POLLIN, 0}};
    char chunk[256];
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0 || (fds[0].revents & (POLLERR | POLLNVAL)) != 0)
            return;
        // The rate the client sent them at decides who hears them.
        const qint64 atUs = nowUs();
        const qint32 heardAt = clientBaudOf(master);
        QByteArray bytes;
        bool open = true;
        for (;;) {
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n > 0) {
                bytes.append(chunk, int(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // EIO would mean no slave is open, which our own slave fd
            // prevents; stop listening rather than spin on it.
            open = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            break;
        }
        if (!bytes.isEmpty()) {
            QMetaObject::invokeMethod(this, [this, bytes, atUs, heardAt, run] {
                if (run != m_run || m_master < 0)
                    return; // read for a line since stopped
                fromClient(bytes, atUs, heardAt);
                pump();
            }, Qt::QueuedConnection);
        }
        if (!open)
            return;
    }
}

void ModuleSim::fromClient(const QByteArray &bytes, qint64 now, qint32 heardAt)
{
    if (!m_pace) {
        if (m_echo)
            schedule({handOverUs(now), Event::Deliver, bytes, 0, {}});
        schedule({now, Event::Hear, bytes, heardAt, {}});
        return;
    }
    // The pty hands the bytes over at once; on a wire they follow one
    // another, each ending its wire time after the one before.
    const qint64 byteUs = wireMicroseconds(portRate(), 1);
    // A frame begins on a quiet downstream wire; the silence before it
    // counts from whatever was on either wire last.
    if (now >= m_downFreeUs && (m_downFreeUs > 0 || m_upFreeUs > 0)) {
        const qint64 gapUs = now - std::max(m_downFreeUs, m_upFreeUs);
        if (m_gaps.size() < 1000000)
            m_gaps.append(gapUs);
        emit requestGap(gapUs);
    }
    for (const char c : bytes) {
        m_downFreeUs = std::max(now, m_downFreeUs) + byteUs;
        if (m_echo)
            schedule({handOverUs(m_downFreeUs), Event::Deliver, QByteArray(1, c), 0, {}});
        schedule({m_downFreeUs, Event::Hear, QByteArray(1, c), heardAt, {}});
    }
}

void ModuleSim::consume(const QByteArray &bytes, qint32 baud)
{
    // Part of a request heard at one rate and the rest at another is no
    // request at all.
    QByteArray lost;
    if (!m_rx.isEmpty() && baud != m_rxBaud) {
        lost = m_rx;
        m_rx.clear();
        m_gapTimer->stop();
    }
    if (!anyModuleAt(baud)) {
        // At a rate or line setting no module runs at, their UARTs would
        // only see framing or parity errors.
        lost.append(bytes);
        emit discarded(lost);
        return;
    }
    if (!lost.isEmpty())
        emit discarded(lost);
    m_rxBaud = baud;
    m_rx.append(bytes);
    if (m_rx.size() > MaxBuffered) {
        const int excess = m_rx.size() - MaxBuffered;
        const QByteArray dropped = m_rx.left(excess);
        m_rx.remove(0, excess);
        emit discarded(dropped);
    }
    parseBuffer();
    if (m_rx.isEmpty())
        m_gapTimer->stop();
    else
        m_gapTimer->start();
}

void ModuleSim::onResyncGap()
{
    if (m_rx.isEmpty())
        return;
    const QByteArray lost = m_rx;
    m_rx.clear();
    emit discarded(lost);
}

void ModuleSim::parseBuffer()
{
    QByteArray skipped;
    auto skipOne = [&] {
        skipped.append(m_rx.at(0));
        m_rx.remove(0, 1);
    };

    while (!m_rx.isEmpty() && m_master >= 0) {
        const auto *b = reinterpret_cast<const quint8 *>(m_rx.constData());
        const int size = m_rx.size();

        if (b[0] == LoggerStart0 && (size < 2 || b[1] == LoggerStart1)) {
            if (size < 4)
                break;
            const int total = b[3] + LoggerOverhead;
            if (size < total)
                break;
            quint8 sum = 0;
            for (int i = 2; i < total - 3; ++i)
                sum = quint8(sum + b[i]);
            if (b[total - 3] == sum && b[total - 2] == LoggerEnd0 && b[total - 1] == LoggerEnd1) {
                const QByteArray frame = m_rx.left(total);
                m_rx.remove(0, total);
                emit loggerFrameHeard(frame);
                handleLoggerFrame(frame);
            } else {
                skipOne();
            }
            continue;
        }

        if (size < RequestSize)
            break;
        const quint16 crc = quint16(b[6] | (b[7] << 8));
        if (crc16(m_rx.constData(), RequestSize - 2) == crc) {
            const QByteArray frame = m_rx.left(RequestSize);
            m_rx.remove(0, RequestSize);
            handleRequest(frame);
        } else {
            skipOne();
        }
    }
    if (!skipped.isEmpty())
        emit discarded(skipped);
}

void ModuleSim::handleRequest(const QByteArray &frame)
{
    const quint8 target = quint8(frame.at(0));
    const auto hears = [this, target](const Module *m) {
        return m->baudRate() == m_rxBaud && (target == 0 || target == m->address());
    };
    if (std::none_of(m_modules.cbegin(), m_modules.cend(), hears))
        return;
    emit requestHeard(frame);

    QList<Said> said;
    for (Module *m : m_modules) {
        if (!hears(m))
            continue;
        Module::Answer a = m->answerRequest(frame);
        if (m->silent())
            a.reply.clear();
        said.append({m, a});
    }
    answer(said);
}

void ModuleSim::handleLoggerFrame(const QByteArray &frame)
{
    QList<Said> said;
    for (Module *m : m_modules) {
        if (m->baudRate() != m_rxBaud)
            continue;
        Module::Answer a = m->answerLoggerFrame(frame);
        if (m->silent() || m->loggerSilent())
            a.reply.clear();
        said.append({m, a});
    }
    answer(said);
}

// ---- time on the line ------------------------------------------------------

qint64 ModuleSim::nowUs() const
{
    return m_clock.nsecsElapsed() / 1000;
}

qint64 ModuleSim::handOverUs(qint64 arrivedUs) const
{
    // The adapter's latency timer runs whether or not bytes come: they wait
    // for its next tick.
    if (m_latencyUs <= 0)
        return arrivedUs;
    return (arrivedUs + m_latencyUs - 1) / m_latencyUs * m_latencyUs;
}

void ModuleSim::schedule(Event event)
{
    const auto at = std::upper_bound(m_events.begin(), m_events.end(), event.atUs,
                                     [](qint64 t, const Event &e) { return t < e.atUs; });
    const bool first = at == m_events.begin();
    m_events.insert(at, std::move(event));
    if (first)
        arm();
}

void ModuleSim::arm()
{
    if (m_events.empty()) {
        m_pumpTimer->stop();
        return;
    }
    const qint64 waitUs = m_events.front().atUs - nowUs();
    m_pumpTimer->start(int(std::clamp<qint64>((waitUs + 999) / 1000, 0, std::numeric_limits<int>::max())));
}

void ModuleSim::pump()
{
    // Everything due by now, in order; bytes for the client that fall due
    // together go in one write, as an adapter hands over what it holds.
    const qint64 now = nowUs();
    QByteArray out;
    qint32 outBaud = 0;
    const auto flush = [&] {
        if (!out.isEmpty())
            writeLine(out, outBaud);
        out.clear();
    };
    while (m_master >= 0 && !m_events.empty() && m_events.front().atUs <= now) {
        Event e = std::move(m_events.front());
        m_events.pop_front();
        if (e.kind == Event::Deliver) {
            if (e.baud != outBaud)
                flush();
            out += e.bytes;
            outBaud = e.baud;
            continue;
        }
        if (e.kind == Event::HandOver) {
            // In the order they crossed: none before one ahead of it on the
            // wire, whoever sent it.
            for (const SlotPtr &s : m_wire) {
                if (s->handed)
                    continue;
                if (s->dueUs > e.atUs)
                    break;
                if (s->baud != outBaud)
                    flush();
                out += s->byte;
                outBaud = s->baud;
                s->handed = true;
            }
            continue;
        }
        flush();
        if (e.kind == Event::Hear) {
            m_heardUs = e.atUs;
            consume(e.bytes, e.baud);
        } else if (e.run) {
            e.run();
        }
    }
    flush();
    if (m_master >= 0)
        arm();
}

// ---- sending ---------------------------------------------------------------

void ModuleSim::answer(const QList<Said> &said)
{
    // Modules that answer after one delay start together and make one reply;
    // the others go out at their own times, whoever else is talking.
    std::map<int, QList<Module::Answer>> byDelay;
    for (const Said &s : said) {
        if (!s.answer.reply.isEmpty())
            byDelay[s.module->effectiveAnswerDelay()].append(s.answer);
        else if (s.answer.afterSent)
            s.answer.afterSent();
    }
    const qint64 heard = m_heardUs;
    for (const auto &[delayMs, replies] : byDelay) {
        const qint64 earliest = heard + qint64(delayMs) * 1000;
        if (replies.size() == 1) {
            const Module::Answer &a = replies.first();
            transmit(a.reply, a.cuts, a.gapMs, false, a.afterSent, earliest);
            continue;
        }
        // A bit is low on the line when any of them drives it low, and a
        // module that has finished leaves it idle high.
        int size = 0;
        for (const Module::Answer &a : replies)
            size = std::max(size, int(a.reply.size()));
        QByteArray line(size, char(0xFF));
        QList<int> cuts;
        int gapMs = 0;
        for (const Module::Answer &a : replies) {
            for (int i = 0; i < a.reply.size(); ++i)
                line[i] = char(quint8(line.at(i)) & quint8(a.reply.at(i)));
            if (!a.cuts.isEmpty() && a.reply.size() == size)
                cuts = a.cuts, gapMs = a.gapMs;
        }
        transmit(line, cuts, gapMs, true, [replies] {
            for (const Module::Answer &a : replies) {
                if (a.afterSent)
                    a.afterSent();
            }
        }, earliest);
    }
}

void ModuleSim::sendReply(const QByteArray &frame, std::function<void()> afterSent)
{
    transmit(frame, {}, 0, false, std::move(afterSent), m_heardUs + qint64(m_replyDelayMs) * 1000);
}

void ModuleSim::transmit(const QByteArray &frame, QList<int> cuts, int gapMs, bool collided,
                         std::function<void()> afterSent, qint64 earliestUs)
{
    if (m_master < 0) {
        if (afterSent)
            afterSent();
        return;
    }

    QByteArray bytes = frame;
    if (m_corruptCrc && !bytes.isEmpty()) {
        const int at = checkByteAt(bytes);
        bytes[at] = char(~quint8(bytes.at(at)));
    }
    auto talk = std::make_shared<Talk>();
    talk->frameFrom = m_stray ? 1 : 0;
    talk->frameTo = talk->frameFrom + bytes.size();
    if (m_extraByte)
        bytes.append('\0');
    if (cuts.isEmpty()) {
        const int pieces = std::clamp(m_splitChunks, 1, std::max(1, int(bytes.size())));
        for (int i = 1; i < pieces; ++i)
            cuts.append(int(qint64(bytes.size()) * i / pieces));
        gapMs = m_splitGapMs;
    }
    if (m_stray) {
        bytes.prepend('\0');
        for (int &cut : cuts)
            ++cut;
    }

    QList<QByteArray> pieces;
    int from = 0;
    for (const int cut : cuts) {
        if (cut <= from || cut >= bytes.size())
            continue;
        pieces.append(bytes.mid(from, cut - from));
        from = cut;
    }
    pieces.append(bytes.mid(from));

    // Replies go out at the rate of the frame they answer, each when its
    // module is ready: a module does not listen for another's reply.
    const qint32 baud = m_rxBaud != 0 ? m_rxBaud : first()->baudRate();
    const qint64 sentUs = putOnWire(pieces, gapMs, baud, std::max(earliestUs, m_quietUntilUs), m_heardUs, talk.get());
    if (collided) {
        for (const SlotPtr &s : talk->frame)
            s->collided = true;
    }
    m_talks.push_back(talk);
    spoilCollisions();
    ++m_repliesOnWire;
    m_noiseTimer->stop();
    schedule({sentUs, Event::Run, {}, 0, [this, talk, baud, afterSent = std::move(afterSent)] {
                  --m_repliesOnWire;
                  m_noiseBaud = baud;
                  if (afterSent)
                      afterSent();
                  QByteArray sent;
                  for (const SlotPtr &s : talk->all)
                      sent += s->byte;
                  emit replySent(sent);
                  if (m_master >= 0 && m_noise && m_repliesOnWire == 0)
                      m_noiseTimer->start();
              }});
}

qint64 ModuleSim::putOnWire(const QList<QByteArray> &pieces, int gapMs, qint32 baud, qint64 startUs,
                            qint64 askedUs, Talk *talk)
{
    // What the client had been handed before it asked is past: nothing sent
    // in answer can have met it on the wire.
    m_wire.erase(std::remove_if(m_wire.begin(), m_wire.end(),
                                [askedUs](const SlotPtr &s) { return s->handed && s->dueUs < askedUs; }),
                 m_wire.end());
    m_talks.erase(std::remove_if(m_talks.begin(), m_talks.end(),
                                 [](const std::shared_ptr<Talk> &t) {
                                     return std::all_of(t->all.cbegin(), t->all.cend(),
                                                        [](const SlotPtr &s) { return s->handed; });
                                 }),
                  m_talks.end());
    const auto note = [](std::vector<SlotPtr> &list, const SlotPtr &s) {
        if (std::find(list.cbegin(), list.cend(), s) == list.cend())
            list.push_back(s);
    };

    qint64 wire = startUs; // where the piece starts on the wire
    qint64 hand = startUs; // without pacing, when it is handed over: gapMs after the one before
    qint64 lastDue = -1;
    int index = 0;
    for (int k = 0; k < pieces.size(); ++k) {
        if (k > 0) {
            wire += qint64(gapMs) * 1000;
            hand += qint64(gapMs) * 1000;
        }
        const QByteArray &piece = pieces.at(k);
        for (int j = 0; j < piece.size(); ++j, ++index) {
            const quint8 byte = quint8(piece.at(j));
            const qint64 from = wire + wireMicroseconds(baud, j);
            const qint64 to = wire + wireMicroseconds(baud, j + 1);
            std::vector<SlotPtr> met;
            for (const SlotPtr &s : m_wire) {
                if (s->dueUs >= askedUs && s->fromUs < to && from < s->toUs)
                    met.push_back(s);
            }
            if (met.empty()) {
                // A byte reaches the adapter once its stop bit has; without
                // pacing its piece is handed over whole at its start.
                const qint64 due = handOverUs(m_pace ? to : hand);
                auto s = std::make_shared<Slot>(Slot{from, to, due, baud, char(byte)});
                m_wire.insert(std::upper_bound(m_wire.begin(), m_wire.end(), from,
                                               [](qint64 t, const SlotPtr &other) { return t < other->fromUs; }),
                              s);
                met.push_back(s);
                if (due != lastDue)
                    schedule({due, Event::HandOver, {}, 0, {}});
                lastDue = due;
            } else {
                // The characters already there take it: a bit is low when
                // any sender drives it low.
                for (const SlotPtr &s : met) {
                    s->byte = char(quint8(s->byte) & byte);
                    s->collided = true;
                }
            }
            if (!talk)
                continue;
            for (const SlotPtr &s : met) {
                note(talk->all, s);
                if (index >= talk->frameFrom && index < talk->frameTo)
                    note(talk->frame, s);
            }
        }
        wire += wireMicroseconds(baud, piece.size());
    }
    m_upFreeUs = std::max(m_upFreeUs, wire);
    return m_pace ? wire : hand;
}

void ModuleSim::spoilCollisions()
{
    // Collided bytes that happen to add up to a valid frame (two echoes of
    // one write are the same bytes) would hide the collision. Spoiling one
    // frame changes any other that shares the byte: look again.
    for (int round = 0; round <= int(m_talks.size()); ++round) {
        bool spoilt = false;
        for (const std::shared_ptr<Talk> &talk : m_talks) {
            const std::vector<SlotPtr> &frame = talk->frame;
            if (std::none_of(frame.cbegin(), frame.cend(), [](const SlotPtr &s) { return s->collided; }))
                continue;
            QByteArray bytes;
            for (const SlotPtr &s : frame)
                bytes += s->byte;
            if (!checkHolds(bytes))
                continue;
            // Its check byte, or else the last the client has still to get.
            SlotPtr at = frame.at(size_t(checkByteAt(bytes)));
            if (at->handed) {
                const auto pending = std::find_if(frame.crbegin(), frame.crend(), [](const SlotPtr &s) { return !s->handed; });
                if (pending == frame.crend())
                    continue;
                at = *pending;
            }
            at->byte = char(~quint8(at->byte));
            spoilt = true;
        }
        if (!spoilt)
            break;
    }
}

void ModuleSim::onNoiseTimer()
{
    if (m_repliesOnWire > 0 || !m_noise || m_master < 0)
        return;
    QRandomGenerator *rng = QRandomGenerator::global();
    QByteArray noise(1 + int(rng->bounded(4)), '\0');
    for (char &c : noise)
        c = char(rng->bounded(256));
    // In the silence: after every reply has left the wire.
    const qint64 now = nowUs();
    putOnWire({noise}, 0, m_noiseBaud, std::max(now, m_upFreeUs), now);
    m_quietUntilUs = m_upFreeUs + qint64(QuietAfterNoiseMs) * 1000;
}

bool ModuleSim::writeLine(const QByteArray &bytes, qint32 baud)
{
    // A client at another rate would only get framing errors; it hears nothing.
    if (m_master < 0 || (baud != 0 && clientBaud() != baud))
        return false;
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_master, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // nobody draining the slave: the bytes are lost, as on a wire
        p += n;
        left -= n;
    }
    return true;
}

} // namespace modsim
