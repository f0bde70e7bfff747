#ifndef HYGROVANE_WIDGET_H
#define HYGROVANE_WIDGET_H

#include "link/line.h"
#include "trend/history.h"

#include <QByteArray>
#include <QString>
#include <QWidget>


namespace trend {
class CsvFile;
}
class BusWindow;
class CommissionWindow;
class QButtonGroup;
class TrendWindow;
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
class Widget : public QWidget, private LineHost
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

    // The line the main window and every other window use.
    Line *serialLine() const { return line; }
    // The trend window's record of the readings (open while recording), or
    // none before that window was first opened.
    const trend::CsvFile *record() const;
    // The sampling intervals as the Record group's list names them, "1S" to
    // "24h", for the other windows to name them alike.
    QStringList sampleIntervals() const;
    // A reading of a module's, for the trend and the record.
    void keepReading(const QDateTime &when, quint8 address, const trend::Values &values);
    // The program's one MQTT publisher: the bus window sets it up and feeds
    // it the modules' availability and their readings; the main window's
    // own readings go to it too.
    publish::Publisher *publisher() const { return mqttPublisher; }

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
    // The main window's side of its own requests on the line.
    bool searching() const override;
    void written(const LineRequest &request) override;
    bool takeLoggerReply(const QByteArray &buffer) override;
    void answered(const QByteArray &reply) override;
    void waitOver() override;
    void endChorus();
    void pollUnanswered();
    void LogFrame(const QString &text, bool isRx);
    bool UartInit();
    void newLink();
    void followModule(quint8 address, qint32 rate, quint8 newAddress, qint32 newRate);
    void endLinkWork(const QString &why = QString());
    bool writeReachesAll();
    void portFailed(const QString &reason, bool opening);
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

    Line *line;
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
    int missedPolls = 0; // polls in a row the silence ended
    Ui::Widget *ui;

    friend struct WidgetAccess; // the test programs' window into the controller
};

#endif
