#ifndef HYGROVANE_WIDGET_H
#define HYGROVANE_WIDGET_H

#include <QString>
#include <QWidget>

class QButtonGroup;
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

private:
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
    Ui::Widget *ui;

    friend struct WidgetAccess; // the test programs' window into the controller
};

#endif
