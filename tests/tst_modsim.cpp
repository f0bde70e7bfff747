// The simulated module, driven over its pseudo-terminal the way a serial
// client drives the real one: raw termios on the slave, bytes in, bytes out.

#include "modulesim.h"

#include <QtTest>

#include <cerrno>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using modsim::ModuleSim;

// What a row switches on in the module before its request goes out.
using Setup = std::function<void(ModuleSim &)>;
Q_DECLARE_METATYPE(Setup)

namespace {

QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

// Register frames, worked out by hand; values frozen at T 25.0, RH 50.0,
// dew 11.0, wet 20.0, address 1.
const char *const kReadOne = "01 03 00 00 00 01 84 0A";
const char *const kReadOneReply = "01 03 02 00 FA 38 07";
const char *const kReadFive = "01 03 00 00 00 05 85 C9";
const char *const kFiveReply = "01 03 0A 00 FA 01 F4 00 6E 00 C8 00 00 42 26";

// Logger frames, worked out by hand from the frame layout.
const char *const kInfoRequest = "7B 22 0A 00 0A 22 7D";
const char *const kSettingsRequest = "7B 22 1A 00 1A 22 7D";
// Model 2021, prefix 00, serial 18 0B 14 09 1E 2D.
const char *const kFactoryInfo = "7B 22 0C 10 00 00 32 30 32 31 00 00 18 0B 14 09 1E 2D 00 00 6C 22 7D";
// Never set up: clock and start 0, monitor only, one sample a minute.
const char *const kFactorySettings = "7B 22 1C 1D 00 00 00 00 00 00 60 00 00 00 00 FF FF 00 3C "
                                     "03 20 01 40 03 20 01 40 00 00 00 00 00 00 9B 22 7D";
// 2026-01-01 00:00:00 UTC, record from start time, 60 s, start an hour later.
const char *const kSetupTimed = "7B 22 4A 1D 69 55 B9 00 00 00 40 00 00 00 00 FF FF 00 3C "
                                "03 20 01 40 03 20 01 40 69 55 C7 10 00 00 B5 22 7D";
const char *const kSettingsTimed = "7B 22 1C 1D 69 55 B9 00 00 00 40 00 00 00 00 FF FF 00 3C "
                                   "03 20 01 40 03 20 01 40 69 55 C7 10 00 00 87 22 7D";
// Same moment, record after setup, 45000 s, start five minutes later.
const char *const kSetupAfterSetup = "7B 22 4A 1D 69 55 B9 00 00 00 20 00 00 00 00 FF FF AF C8 "
                                     "03 20 01 40 03 20 01 40 69 55 BA 2C 00 00 DF 22 7D";
const char *const kSettingsAfterSetup = "7B 22 1C 1D 69 55 B9 00 00 00 20 00 00 00 00 FF FF AF C8 "
                                        "03 20 01 40 03 20 01 40 69 55 BA 2C 00 00 B1 22 7D";
const char *const kSerialWrite = "7B 22 AA 07 5A 01 02 03 04 05 06 20 22 7D";
const char *const kSerialAck = "7B 22 AB 00 AB 22 7D";
const char *const kInfoAfterSerial = "7B 22 0C 10 00 00 32 30 32 31 00 5A 01 02 03 04 05 06 00 00 50 22 7D";
// Counting bytes 00..7F as the payload, with 22 7D at offsets 60-61.
const char *const kLongFrame =
    "7B 22 2C 80 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 "
    "1A 1B 1C 1D 1E 1F 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F 30 31 32 33 34 35 36 37 "
    "22 7D 3A 3B 3C 3D 3E 3F 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 52 53 54 55 "
    "56 57 58 59 5A 5B 5C 5D 5E 5F 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 "
    "74 75 76 77 78 79 7A 7B 7C 7D 7E 7F 9A 22 7D";

} // namespace

// The program's side of the line, reduced to what a test needs.
class RawClient : public QObject
{
    Q_OBJECT

public:
    ~RawClient() override { delete m_notifier; ::close(m_fd); }

    bool open(const QString &path, qint32 baud)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0 || !setBaud(baud))
            return false;
        ::tcflush(m_fd, TCIOFLUSH);
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &RawClient::onReadable);
        m_clock.start();
        return true;
    }

    bool setBaud(qint32 baud)
    {
        termios tio {};
        if (::tcgetattr(m_fd, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1; // with VMIN 0 an empty read looks like a hang-up
        tio.c_cc[VTIME] = 0;
        const speed_t speed = baud == 1200 ? B1200 : baud == 19200 ? B19200 : baud == 115200 ? B115200 : B9600;
        return ::cfsetspeed(&tio, speed) == 0 && ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    bool send(const QByteArray &data) { return ::write(m_fd, data.constData(), size_t(data.size())) == data.size(); }

    void clear() { pieces.clear(); arrivals.clear(); }
    qint64 now() const { return m_clock.elapsed(); }
    QByteArray received() const { return pieces.join(); }

    QByteArrayList pieces; // what each wake-up brought
    QList<qint64> arrivals; // ms since open, one per piece
    bool hungUp = false;

signals:
    void arrived();

private:
    void onReadable()
    {
        QByteArray piece;
        char buf[256];
        ssize_t n;
        while ((n = ::read(m_fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
            piece.append(buf, int(qMax<ssize_t>(n, 0)));
        hungUp = n == 0 || errno != EAGAIN;
        m_notifier->setEnabled(!hungUp);
        if (!piece.isEmpty()) {
            pieces.append(piece);
            arrivals.append(now());
            emit arrived();
        }
    }

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QElapsedTimer m_clock;
};

class TestModSim : public QObject
{
    Q_OBJECT

    std::unique_ptr<ModuleSim> m_sim;
    std::unique_ptr<RawClient> m_client;

private slots:
    void initTestCase() { qRegisterMetaType<QProcess::ExitStatus>(); }

    void init()
    {
        m_sim = std::make_unique<ModuleSim>();
        m_sim->setValues(250, 500, 110, 200);
        QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
        m_client = std::make_unique<RawClient>();
        QVERIFY(m_client->open(m_sim->portPath(), 9600));
    }

    void cleanup() { m_client.reset(); m_sim.reset(); }

    void rtu_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        auto row = [](const char *name, const char *request, const char *reply) {
            QTest::newRow(name) << bytes(request) << bytes(reply);
        };
        row("temperature", kReadOne, kReadOneReply);
        row("humidity", "01 03 00 01 00 01 D5 CA", "01 03 02 01 F4 B8 53");
        row("dew point", "01 03 00 02 00 01 25 CA", "01 03 02 00 6E 39 A8");
        row("wet bulb", "01 03 00 03 00 01 74 0A", "01 03 02 00 C8 B9 D2");
        row("status", "01 03 00 04 00 01 C5 CB", "01 03 02 00 00 B8 44");
        row("all five", kReadFive, kFiveReply);
        row("address", "01 03 01 00 00 01 85 F6", "01 03 02 00 01 79 84");
        row("all five asked at 0", "00 03 00 00 00 05 84 18", kFiveReply);
        row("address asked at 0", "00 03 01 00 00 01 84 27", "01 03 02 00 01 79 84");

        row("register past status", "01 03 00 05 00 01 94 0B", "01 83 02 C0 F1");
        row("range past status", "01 03 00 03 00 03 F5 CB", "01 83 02 C0 F1");
        row("baud code is write only", "01 03 01 01 00 01 D4 36", "01 83 02 C0 F1");
        row("count zero", "01 03 00 00 00 00 45 CA", "01 83 03 01 31");
        row("count 126", "01 03 00 00 00 7E C5 EA", "01 83 03 01 31");
        row("input registers", "01 04 00 00 00 01 31 CA", "01 84 01 82 C0");
        row("write temperature", "01 06 00 00 00 10 88 06", "01 86 02 C3 A1");
        row("address 248", "01 06 01 00 00 F8 89 B4", "01 86 03 02 61");
        row("baud code 7", "01 06 01 01 00 07 98 34", "01 86 03 02 61");

        row("bad CRC", "01 03 00 00 00 01 84 0B", "");
        row("foreign address", "02 03 00 00 00 01 84 39", "");
    }

    void rtu()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QSignalSpy heard(m_sim.get(), &ModuleSim::requestHeard);

        // Replies come in order, and the read behind the request shows that
        // nothing changed: still address 1, still 9600 baud, nothing extra sent.
        QVERIFY(m_client->send(request + bytes(kReadOne)));
        QTRY_COMPARE(m_client->received(), reply + bytes(kReadOneReply));
        QCOMPARE(heard.count(), reply.isEmpty() ? 1 : 2);
    }

    void addressWrite_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("silent");
        QTest::newRow("asked at 0") << bytes("00 06 01 00 00 05 49 E4") << false;
        QTest::newRow("asked at own address") << bytes("01 06 01 00 00 05 48 35") << false;
        QTest::newRow("silent, still obeyed") << bytes("00 06 01 00 00 05 49 E4") << true;
    }

    void addressWrite()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, silent);
        const QByteArray replyFrom5 = bytes("05 03 02 00 FA C9 C7");
        QSignalSpy changed(m_sim.get(), &ModuleSim::addressChanged);
        m_sim->setSilent(silent);

        QVERIFY(m_client->send(request));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 5);
        QTRY_COMPARE(m_client->received(), silent ? QByteArray() : request);

        // Read at the old address, the new one and 0: only the last two answer,
        // and nothing a silent module held back comes first.
        m_sim->setSilent(false);
        m_client->clear();
        QVERIFY(m_client->send(bytes(kReadOne) + bytes("05 03 00 00 00 01 85 8E") + bytes("00 03 00 00 00 01 85 DB")));
        QTRY_COMPARE(m_client->received(), replyFrom5 + replyFrom5);
    }

    void rates_data()
    {
        QTest::addColumn<qint32>("moduleBaud");
        QTest::addColumn<qint32>("clientBaud");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<qint32>("newBaud");
        auto row = [](const char *name, qint32 module, qint32 client, const char *request, qint32 after) {
            QTest::newRow(name) << module << client << bytes(request) << after;
        };
        row("baud write 9600 to 115200 asked at 0", 9600, 9600, "00 06 01 01 00 06 58 25", 115200);
        row("baud write 115200 to 1200 asked at own", 115200, 115200, "01 06 01 01 00 01 18 36", 1200);
        row("client at 1200", 9600, 1200, kReadFive, 9600);
        row("client at 19200", 9600, 19200, kReadFive, 9600);
    }

    void rates()
    {
        QFETCH(qint32, moduleBaud);
        QFETCH(qint32, clientBaud);
        QFETCH(QByteArray, request);
        QFETCH(qint32, newBaud);
        QVERIFY(m_sim->setBaudRate(moduleBaud));
        QVERIFY(m_client->setBaud(clientBaud));
        QSignalSpy heard(m_sim.get(), &ModuleSim::requestHeard);
        QSignalSpy discarded(m_sim.get(), &ModuleSim::discarded);

        // A baud write is echoed at the old rate; a client at another rate is not heard.
        QVERIFY(m_client->send(request));
        if (clientBaud == moduleBaud) {
            QTRY_COMPARE(m_client->received(), request);
        } else {
            QVERIFY(discarded.wait(2000));
            QCOMPARE(discarded.last().at(0).toByteArray(), request);
        }
        QCOMPARE(heard.count(), clientBaud == moduleBaud ? 1 : 0);
        QCOMPARE(m_sim->baudRate(), newBaud);

        // From now on the client is deaf to it at its old rate, and answered at the module's.
        m_client->clear();
        QVERIFY(m_client->send(bytes(kReadOne)));
        QVERIFY(discarded.wait(2000));
        QCOMPARE(discarded.last().at(0).toByteArray(), bytes(kReadOne));
        QVERIFY(m_client->setBaud(newBaud));
        QVERIFY(m_client->send(bytes(kReadOne)));
        QTRY_COMPARE(m_client->received(), bytes(kReadOneReply));
    }

    void faults_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QList<int>>("pieceSizes");
        QTest::addColumn<int>("minMs"); // from the request to the last piece
        auto row = [](const char *name, Setup setup, const char *request, const char *reply,
                      QList<int> sizes, int minMs = 0) {
            QTest::newRow(name) << setup << bytes(request) << bytes(reply) << sizes << minMs;
        };
        row("split in three", [](ModuleSim &s) { s.setSplit(3, 20); }, kReadFive, kFiveReply, {5, 5, 5}, 40);
        row("split finer than the reply", [](ModuleSim &s) { s.setSplit(40, 10); }, kReadOne, kReadOneReply,
            {1, 1, 1, 1, 1, 1, 1}, 60);
        row("delay", [](ModuleSim &s) { s.setReplyDelay(120); }, kReadOne, kReadOneReply, {7}, 120);
        row("extra byte", [](ModuleSim &s) { s.setExtraByte(true); }, kReadOne, "01 03 02 00 FA 38 07 00", {8});
        // The CRC is spoilt, not the stray byte behind it.
        row("corrupt CRC and extra byte",
            [](ModuleSim &s) { s.setCorruptCrc(true); s.setExtraByte(true); }, kReadOne, "01 03 02 00 FA 38 F8 00",
            {8});
        // A logger reply gets its checksum spoilt, not its trailer.
        row("corrupt logger checksum", [](ModuleSim &s) { s.setCorruptCrc(true); }, kInfoRequest,
            "7B 22 0C 10 00 00 32 30 32 31 00 00 18 0B 14 09 1E 2D 00 00 93 22 7D", {23});
        // The first piece ends on the 22 7D inside the payload.
        row("long frame", [](ModuleSim &s) { s.setLongFrame(true); }, kSettingsRequest, kLongFrame,
            {62, 38, 35}, 2 * ModuleSim::LongFrameGapMs);
    }

    void faults()
    {
        QFETCH(Setup, setup);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QList<int>, pieceSizes);
        QFETCH(int, minMs);
        setup(*m_sim);

        const qint64 sentAt = m_client->now();
        QVERIFY(m_client->send(request));
        QTRY_COMPARE(m_client->received(), reply);
        QList<int> sizes;
        for (const QByteArray &piece : qAsConst(m_client->pieces))
            sizes.append(piece.size());
        QCOMPARE(sizes, pieceSizes);
        QVERIFY2(m_client->arrivals.last() - sentAt >= minMs,
                 qPrintable(QStringLiteral("done after %1 ms").arg(m_client->arrivals.last() - sentAt)));
    }

    void noise()
    {
        const QByteArray reply = bytes(kReadOneReply);
        QSignalSpy arrived(m_client.get(), &RawClient::arrived);
        m_sim->setNoise(true);
        QVERIFY(m_client->send(bytes(kReadOne)));
        QTRY_COMPARE(m_client->received(), reply);
        const qint64 replyAt = m_client->arrivals.last();

        // One to four bytes come in the silence after the reply, not glued to it.
        while (m_client->received().size() <= reply.size())
            QVERIFY(arrived.wait(2000));
        const int noiseSize = m_client->received().size() - reply.size();
        QVERIFY2(noiseSize >= 1 && noiseSize <= 4, m_client->received().toHex(' ').constData());
        const qint64 noiseAt = m_client->arrivals.last();
        QVERIFY2(noiseAt - replyAt >= ModuleSim::ResyncGapMs, qPrintable(QString::number(noiseAt - replyAt)));

        // A request sent the moment the noise is seen is still answered after a silence.
        m_client->clear();
        QVERIFY(m_client->send(bytes(kReadOne)));
        QTRY_COMPARE(m_client->received(), reply);
        QVERIFY2(m_client->arrivals.first() - noiseAt >= 30,
                 qPrintable(QString::number(m_client->arrivals.first() - noiseAt)));
    }

    void resync_data()
    {
        QTest::addColumn<QByteArray>("garbage");
        QTest::addColumn<bool>("inFront"); // sent together with the request
        QTest::newRow("partial request, then silence") << bytes("01 03 00 00") << false;
        QTest::newRow("garbage in front of a request") << bytes("FF 00 13 01 03") << true;
        // Far more than the module buffers, ending in a logger start with a long
        // length: it must neither wait for it forever nor go deaf.
        QRandomGenerator rng(20240611);
        QByteArray junk;
        for (int i = 0; i < 3000; ++i)
            junk.append(char(rng.bounded(256)));
        QTest::newRow("junk flood") << junk + bytes("7B 22 0A FF 01 02") << false;
    }

    void resync()
    {
        QFETCH(QByteArray, garbage);
        QFETCH(bool, inFront);
        QSignalSpy discarded(m_sim.get(), &ModuleSim::discarded);
        auto dropped = [&discarded] {
            QByteArray all;
            for (const QList<QVariant> &args : qAsConst(discarded))
                all += args.at(0).toByteArray();
            return all;
        };

        if (!inFront) {
            QVERIFY(m_client->send(garbage));
            QTRY_COMPARE(dropped(), garbage);
        }
        QVERIFY(m_client->send((inFront ? garbage : QByteArray()) + bytes(kReadOne)));
        QTRY_COMPARE(m_client->received(), bytes(kReadOneReply));
        QCOMPARE(dropped(), garbage);
    }

    void logger_data()
    {
        QTest::addColumn<bool>("longFrame");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("info"); // what the module then reports
        QTest::addColumn<QByteArray>("settings");
        auto row = [](const char *name, bool longFrame, const char *request, const char *reply, const char *info,
                      const char *settings) {
            QTest::newRow(name) << longFrame << bytes(request) << bytes(reply) << bytes(info) << bytes(settings);
        };
        row("information", false, kInfoRequest, kFactoryInfo, kFactoryInfo, kFactorySettings);
        row("settings", false, kSettingsRequest, kFactorySettings, kFactoryInfo, kFactorySettings);
        row("setup", false, kSetupTimed, kSettingsTimed, kFactoryInfo, kSettingsTimed);
        row("serial-number write", false, kSerialWrite, kSerialAck, kInfoAfterSerial, kFactorySettings);
        row("setup during long frames", true, kSetupAfterSetup, kLongFrame, kFactoryInfo, kSettingsAfterSetup);
        row("setup of the wrong length", false, "7B 22 4A 02 01 02 4F 22 7D", "", kFactoryInfo, kFactorySettings);
        // The timed setup with its checksum one off: neither answered nor stored.
        row("bad checksum", false, "7B 22 4A 1D 69 55 B9 00 00 00 40 00 00 00 00 FF FF 00 3C "
                                   "03 20 01 40 03 20 01 40 69 55 C7 10 00 00 B6 22 7D",
            "", kFactoryInfo, kFactorySettings);
    }

    void logger()
    {
        QFETCH(bool, longFrame);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, info);
        QFETCH(QByteArray, settings);
        m_sim->setLongFrame(longFrame);

        // The register read behind it marks the end of whatever the frame brings.
        QVERIFY(m_client->send(request + bytes(kReadOne)));
        QTRY_COMPARE(m_client->received(), reply + bytes(kReadOneReply));

        m_sim->setLongFrame(false);
        m_client->clear();
        QVERIFY(m_client->send(bytes(kInfoRequest) + bytes(kSettingsRequest)));
        QTRY_COMPARE(m_client->received(), info + settings);

        // The accessors report the fields the frames carry.
        auto field = [&settings](int at, int size) { return settings.mid(at, size).toHex().toUInt(nullptr, 16); };
        QCOMPARE(m_sim->serialBytes(), info.mid(12, 6));
        QCOMPARE(m_sim->serialPrefix(), quint8(info.at(11)));
        QCOMPARE(m_sim->recordSettings(), settings.mid(4, 29));
        QCOMPARE(uint(m_sim->setupClock()), field(4, 4));
        QCOMPARE(uint(m_sim->recordMode()), field(10, 1) >> 5);
        QCOMPARE(uint(m_sim->sampleInterval()), field(17, 2));
        QCOMPARE(uint(m_sim->recordStart()), field(27, 4));
    }

    void frozenValues()
    {
        // Frozen values stop a running drift and come out exactly, sign included.
        m_sim->setDriftInterval(1);
        m_sim->setDrift(true);
        m_sim->setValues(-125, 873, -150, -131);
        QVERIFY(!m_sim->drift());
        QVERIFY(m_client->send(bytes(kReadFive)));
        QTRY_COMPARE(m_client->received(), bytes("01 03 0A FF 83 03 69 FF 6A FF 7D 00 00 71 6A"));
    }

    void climate_data()
    {
        QTest::addColumn<int>("temperature");
        QTest::addColumn<int>("humidity");
        QTest::addColumn<int>("dewPoint");
        QTest::addColumn<int>("wetBulb");
        // Reference figures from psychrometric tables and Stull's paper.
        QTest::newRow("20 C 50 %") << 200 << 500 << 93 << 137;
        QTest::newRow("30 C 80 %") << 300 << 800 << 262 << 271;
        QTest::newRow("-10 C 60 %") << -100 << 600 << -163 << -120;
    }

    void climate()
    {
        QFETCH(int, temperature);
        QFETCH(int, humidity);
        QFETCH(int, dewPoint);
        QFETCH(int, wetBulb);
        m_sim->setClimate(qint16(temperature), quint16(humidity));
        QCOMPARE(int(m_sim->temperature()), temperature);
        QCOMPARE(int(m_sim->humidity()), humidity);
        QVERIFY2(qAbs(m_sim->dewPoint() - dewPoint) <= 1, qPrintable(QString::number(m_sim->dewPoint())));
        QVERIFY2(qAbs(m_sim->wetBulb() - wetBulb) <= 1, qPrintable(QString::number(m_sim->wetBulb())));
    }

    void executable()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath(QStringLiteral("ttyHV"));
        QProcess proc;
        QSignalSpy finished(&proc, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        proc.start(QStringLiteral(HYGROVANE_BUILD_DIR "/hygrovane-modsim"),
                   QStringLiteral("--address 7 --baud 19200 --model 3105 --no-drift --link").split(' ') << link);
        QTRY_VERIFY(proc.canReadLine());
        const QString line = QString::fromLocal8Bit(proc.readLine()).trimmed();
        QVERIFY2(line.contains(QStringLiteral("address 7")) && line.contains(QStringLiteral("19200 baud")),
                 qPrintable(line));
        QCOMPARE(line.section(QLatin1Char(' '), -1), link);

        RawClient client;
        QVERIFY(client.open(link, 19200));
        QVERIFY(client.send(bytes("07 03 01 00 00 01 85 90") + bytes(kInfoRequest)));
        // Address 7 read back, then model 3105 in the information reply.
        QTRY_COMPARE(client.received(), bytes("07 03 02 00 07 71 86 7B 22 0C 10 00 00 33 31 30 35 00 00 "
                                              "18 0B 14 09 1E 2D 00 00 70 22 7D"));

        proc.terminate();
        QVERIFY(finished.wait(5000));
        QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
        QCOMPARE(proc.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QTRY_VERIFY(client.hungUp);
    }

    void mbpoll_data()
    {
        QTest::addColumn<QString>("baud");
        QTest::addColumn<bool>("answered");
        QTest::newRow("module's rate") << QStringLiteral("9600") << true;
        QTest::newRow("wrong rate") << QStringLiteral("19200") << false;
    }

    void mbpoll()
    {
        QFETCH(QString, baud);
        QFETCH(bool, answered);
        const QString mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
        if (mbpoll.isEmpty())
            QSKIP("mbpoll is not installed (Debian package mbpoll); the third-party client check is skipped");

        m_client.reset(); // mbpoll takes the line for itself
        m_sim->setValues(-37, 655, -71, -52);

        // Holding registers 0..4 with PDU numbering, shown in hex so that signed
        // values come through unchanged; one poll, short timeout.
        QProcess proc;
        proc.setProcessChannelMode(QProcess::MergedChannels);
        QSignalSpy finished(&proc, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        proc.start(mbpoll, QStringLiteral("-m rtu -a 1 -0 -r 0 -c 5 -t 4:hex -1 -o 0.5 -P none -d 8 -s 1 -b").split(' ')
                               << baud << m_sim->portPath());
        QVERIFY(finished.wait(10000));
        const QString out = QString::fromLocal8Bit(proc.readAll());

        QMap<int, int> values;
        const QRegularExpression valueLine(QStringLiteral("^\\[(\\d+)\\]:\\s+0x([0-9A-Fa-f]{4})\\s*$"),
                                           QRegularExpression::MultilineOption);
        for (auto it = valueLine.globalMatch(out); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            values.insert(m.captured(1).toInt(), qint16(m.captured(2).toUShort(nullptr, 16)));
        }

        if (answered) {
            QCOMPARE(proc.exitCode(), 0);
            const QMap<int, int> expected{{0, -37}, {1, 655}, {2, -71}, {3, -52}, {4, 0}};
            QVERIFY2(values == expected, qPrintable(out));
        } else {
            QVERIFY2(values.isEmpty(), qPrintable(out));
            QVERIFY2(out.contains(QStringLiteral("timed out"), Qt::CaseInsensitive), qPrintable(out));
        }
    }
};

QTEST_GUILESS_MAIN(TestModSim)
#include "tst_modsim.moc"
