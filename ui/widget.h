#ifndef HYGROVANE_WIDGET_H
#define HYGROVANE_WIDGET_H

#include "link/request.h"
#include "trend/history.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <deque>
#include <functional>
#include <optional>

namespace trend {
class CsvFile;
}
class BusWindow;
class CommissionWindow;
class QButtonGroup;
class TrendWindow;
class QSerialPort;
class QTimer;

namespace publish {
class Publisher;
}
namespace Ui {
class Widget;
}

// The main window and controller. Slot bodies live with their subsystem:
// link/ (linking, AUTO search, watchdog), measure/ (reception, polling,
// display), commands/ (address, baud rate, logger workflows).
class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);
    ~Widget() override;

    // What the pending RTU request asks for (readItem): 0 to 4 are the
    // measurement selections of comboBoxNum, then the two device registers.
    enum ReadItem : quint16 { ReadsAddress = 256, ReadsBaudRate = 257 };
    // Lines the traffic log keeps.
    static constexpr int LogLines = 100000;

    // CRC-16/MODBUS in wire order: the high 8 bits are the byte sent first.
    static quint16 CalcCRC16(const quint8 *data, quint16 length);

    // The entry other windows reach the line by. Their requests go on it in
    // turn with the main window's own, and their replies come through the
    // same reception. False, and nothing queued, when no port is open.
    bool exchange(QObject *owner, const Exchange &request);
    // Drops what the owner still has queued; an exchange already on the line
    // runs out its wait, but its outcome goes nowhere.
    void cancelExchanges(QObject *owner);
    // A window takes the line for a while (a scan, a watch, commissioning):
    // continuous reading stops, and the main window's request buttons show
    // `busy` instead of sending. Link, or a port that dies, ends the claim
    // and runs `ended`. Returns the holder's message when another window
    // holds the line already.
    QString claimLine(QObject *owner, const QString &busy, std::function<void()> ended);
    void releaseLine(QObject *owner);
    // Why the last claim was ended for its holder: the message the main
    // window gave (a port that died, a search that found nothing), or empty
    // when Link ended it.
    QString claimEndedBy() const { return claimEnd; }
    // The rate the port was linked at; 0 while no port is open.
    qint32 linkRate() const;
    // How long the module linked last took to start its answer, past its
    // request and the gap before a reply, in ms; -1 before one answered.
    int measuredAnswerMs() const { return answerUs < 0 ? -1 : int((answerUs + 999) / 1000); }
    // The port's name as it was linked; empty while no port is open.
    QString linkPort() const;
    // The trend window's record of the readings (open while recording), or
    // none before that window was first opened.
    const trend::CsvFile *record() const;
    // The sampling intervals as the Record group's list names them, "1S" to
    // "24h", for the other windows to name them alike.
    QStringList sampleIntervals() const;
    // A reading of a module's, for the trend, the record and the publisher.
    void addReading(quint8 address, const trend::Values &values);
    // The program's one MQTT publisher: the bus window sets it up and feeds
    // it the modules' availability; every reading goes to it.
    publish::Publisher *publisher() const { return mqttPublisher; }

signals:
    // Link chose a port (and opened it, if it could): what was found on the
    // line before belongs to the port linked then.
    void linked(const QString &port);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void PushButtonLinkSlot();
    void PushButtonCloseSlot();
    void my_readuart();
    void PushButtonReadSlot();
    void PushButtonAddressSlot();
    void PushButtonBaudRateSlot();
    void TimerClearSlot();
    void PushButtonAddressReadSlot();
    void TimerResponseSlot();
    void ReadHumitureOrder();
    void PushButtonReadSNSlot();
    void PushButtonAUTOSetupSlot();
    void PushButtonMANUSetupSlot();
    void PushButtonReadRecordSlot();
    void PushButtonSetupRecordSlot();
    void RecModeSelect();
    void ModeSelect(int index);
    void AUTOUartInit();
    void TimerDelaySlot();
    void timerSettingResponseSlot();
    void PushButtonTrendSlot();
    void saveLogAs();

private:
    bool portReady();
    bool SendRtuRequest(LineRequest::Kind kind, quint16 selector, quint8 address, quint8 function,
                        quint16 reg, quint16 countOrValue);
    void submit(LineRequest request);
    void dispatch();
    void writeRequest(LineRequest request);
    void requestAnswered(bool refused, quint8 exceptionCode = 0);
    void finishRequest();
    void clearLine();
    void receiveForExchange(const QByteArray &buffer);
    void dropEcho();
    void echoMissed();
    void awaitEcho(const QByteArray &frame);
    void dropLateAnswer();
    void noteAnswerTime();
    void waitFor(qint64 dueNs);
    void endExchange(Exchange::Outcome outcome, const QByteArray &bytes);
    bool listensToAll() const;
    void heardAnswer(const QByteArray &reply);
    void listenOn();
    qint64 lateWindowUs() const;
    void endChorus();
    void keepLateHead(qint32 rate);
    bool beginsLateAnswer(const QByteArray &bytes, qint32 rate) const;
    int lateHeadAt(const QByteArray &bytes, qint32 rate) const;
    void pollUnanswered();
    void LogFrame(const QString &text, bool isRx);
    bool UartInit();
    void endLinkWork(const QString &why = QString());
    bool writeReachesAll();
    void portFailed(int error);
    void receiveChunk(const QByteArray &chunk);
    void takeWhatTheLineHolds();
    void decodeRtuReply(const QByteArray &buffer);
    void decodeAnswer(const QByteArray &reply);
    void DisplayHumiture(quint8 selector);
    void noteReading(quint8 selector);

    bool sendLoggerRequest(LineRequest::Kind kind, const QByteArray &frame);
    bool SendSerialNumber();
    bool SendRecordSetup(quint32 start);
    bool DecodeLoggerFrame(const QByteArray &buffer);
    void ShowRecordSettings();
    void lockRecordButtons();
    void stopReadingWith(const QString &message);
    QString addressError(const QString &text) const;
    void showError(const QString &text);
    static void bringUp(QWidget *window);

    QSerialPort *serialPort;
    QTimer *timerClear;
    QTimer *timerResponse;
    QTimer *timerHumiture;
    QTimer *timerAutoUart;
    QTimer *timerDelay;
    QTimer *timerSettingResponse;
    QButtonGroup *recModeGroup;
    quint16 readItem = 0;
    QString versionText;
    trend::Histories histories; // what the trend window draws, kept from the start
    QString historiesPort;      // the port those readings came from
    TrendWindow *trendWindow = nullptr;
    BusWindow *busWindow = nullptr;
    CommissionWindow *commissionWindow = nullptr;
    publish::Publisher *mqttPublisher;
    // One request on the line at a time: the one written whose wait is not
    // over, and those waiting their turn.
    std::optional<LineRequest> outstanding;
    std::deque<LineRequest> pendingRequests;
    QTimer *timerWait;        // the wait of a request no watchdog judges: a poll, another window's
    QElapsedTimer waitClock;  // since it was written
    qint64 waitDueNs = 0;     // when its wait ends
    quint64 requestsWritten = 0; // tells the request on the line from the one before
    quint64 cancels = 0;         // owners' exchanges cancelled, ever
    qint64 exchangeDeadlineNs = 0; // when it ends however the line chatters
    QByteArray exchangeBytes; // what the line brought it that makes no frame
    // A two-wire adapter hears its own request: learnt when a request comes
    // back at the start of the buffer, and known until the next Link.
    bool lineEchoes = false;
    bool echoAwaited = false;  // the request on the line has not come back yet
    qint64 echoLagUs = 0;      // how long past its own wire time a request came back
    int echoMisses = 0;        // requests in a row answered without coming back first
    // Another window's request that went unanswered, for a late answer to be
    // told to its owner rather than taken for the next request's.
    // A slow module's answer may come while the next module's request waits
    // its turn behind it on the wire: the last few are kept.
    // A late answer is timed from the chunk that ended it, which an
    // adapter's latency or a busy window hands over later than it came.
    static constexpr qint64 kLateSlackNs = 30 * 1000000LL;
    struct Unanswered
    {
        LineRequest request;
        qint64 writtenNs; // on lineClock
        qint64 lateNs;    // past that, an answer is too old to be told from another's
    };
    std::deque<Unanswered> unanswered;
    QElapsedTimer lineClock;
    qint64 answerUs = -1;      // the linked module's answer time
    bool probing = false;      // the link's probe is on the line, its answer not timed yet
    qint32 lineRate = 0;      // the rate the port was opened at
    int missedPolls = 0;      // polls in a row the silence ended
    qint64 lastByteNs = 0;    // on lineClock: when the line last brought a byte
    int lineModules = 0;      // modules the last request to address 0 heard
    struct Claim
    {
        QPointer<QObject> owner;
        QString busy;
        std::function<void()> ended;
    } claim;
    QString claimEnd;
    bool heardOther = false; // bytes came for the request on the line that make no answer
    Ui::Widget *ui;

    friend struct WidgetAccess; // the test programs' window into the controller
};

#endif
