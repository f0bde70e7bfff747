#ifndef HYGROVANE_WIDGET_H
#define HYGROVANE_WIDGET_H

#include "trend/history.h"

#include <QByteArray>
#include <QString>
#include <QWidget>

class QButtonGroup;
class TrendWindow;
class QSerialPort;
class QTimer;

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
    // Lines the traffic log keeps, at the least.
    static constexpr int LogLines = 100000;

    // CRC-16/MODBUS in wire order: the high 8 bits are the byte sent first.
    static quint16 CalcCRC16(const quint8 *data, quint16 length);

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
    // What an RTU request does besides being written: a poll is neither
    // watched nor spaces the polls; an address read (the probe of every link
    // and the Read button) leaves a trace; a baud-rate write marks the link
    // as waiting to follow the module's new rate.
    enum class RtuSend { Poll, AddressRead, Command, BaudWrite };

    bool portReady();
    bool SendRtuRequest(RtuSend kind, quint16 selector, quint8 address, quint8 function,
                        quint16 reg, quint16 countOrValue);
    void LogFrame(const QString &text, bool isRx);
    bool UartInit();
    void endLinkWork();
    void portFailed(int error);
    void receiveChunk(const QByteArray &chunk);
    void decodeRtuReply(const QByteArray &buffer);
    void DisplayHumiture(quint8 selector);
    void noteReading(quint8 selector);

    bool sendLoggerRequest(const QByteArray &frame, int watchdogMs);
    bool SendSerialNumber();
    bool SendRecordSetup(quint32 start);
    bool DecodeLoggerFrame(const QByteArray &buffer);
    void ShowRecordSettings();
    void lockRecordButtons();
    void stopReadingWith(const QString &message);
    QString addressError(const QString &text) const;
    void showError(const QString &text);

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
    trend::History history; // what the trend window draws, kept from the start
    TrendWindow *trendWindow = nullptr;
    Ui::Widget *ui;

    friend struct WidgetAccess; // the test programs' window into the controller
};

#endif
