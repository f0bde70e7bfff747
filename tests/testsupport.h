#ifndef HYGROVANE_TESTSUPPORT_H
#define HYGROVANE_TESTSUPPORT_H

#include "ui/serialportsettingdialog.h"
#include "ui/widget.h"
#include "ui_serialportsettingdialog.h"
#include "ui_widget.h"

#include <functional>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QMessageBox;

// The test programs' access to the controller's private members.
struct WidgetAccess
{
    static Ui::Widget *ui(Widget *w) { return w->ui; }
    static QSerialPort *port(Widget *w) { return w->serialPort; }
    static QTimer *timerClear(Widget *w) { return w->timerClear; }
    static QTimer *timerResponse(Widget *w) { return w->timerResponse; }
    static QTimer *timerHumiture(Widget *w) { return w->timerHumiture; }
    static QTimer *timerAutoUart(Widget *w) { return w->timerAutoUart; }
    static QTimer *timerDelay(Widget *w) { return w->timerDelay; }
    static QTimer *timerSettingResponse(Widget *w) { return w->timerSettingResponse; }
    static QButtonGroup *recModeGroup(Widget *w) { return w->recModeGroup; }
    static quint16 &readItem(Widget *w) { return w->readItem; }
    static const QString &versionText(Widget *w) { return w->versionText; }

    static bool uartInit(Widget *w) { return w->UartInit(); }
    // The reception path that my_readuart runs, fed without a port.
    static void receive(Widget *w, const QByteArray &chunk) { w->receiveChunk(chunk); }
    static void displayHumiture(Widget *w, quint8 selector) { w->DisplayHumiture(selector); }
    static void logFrame(Widget *w, const QString &hex, bool isRx) { w->LogFrame(hex, isRx); }
    static quint16 crc(const QByteArray &bytes)
    {
        return Widget::CalcCRC16(reinterpret_cast<const quint8 *>(bytes.constData()),
                                 static_cast<quint16>(bytes.size()));
    }
    // The traffic log as plain text, one entry per line (empty log: no entry).
    static QStringList logLines(Widget *w);
};

struct DialogAccess
{
    static Ui::SerialportSettingDialog *ui(SerialportSettingDialog *d) { return d->ui; }
};

// Closes every modal message box as soon as it appears and remembers what it
// said, so that a slot which opens one returns and the test can check it.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT
public:
    struct Seen
    {
        QString title;
        QString text;
        QWidget *parent;
    };

    explicit MessageBoxCatcher(QObject *parent = nullptr);
    const QList<Seen> &seen() const { return m_seen; }
    int count() const { return m_seen.size(); }
    void clear() { m_seen.clear(); }

    // Called once for each settings dialog that opens modally; the handler
    // fills it in and presses OK or Cancel.
    void setDialogHandler(std::function<void(SerialportSettingDialog *)> handler)
    {
        m_dialogHandler = std::move(handler);
    }

private:
    void poll();
    QTimer m_timer;
    QList<Seen> m_seen;
    std::function<void(SerialportSettingDialog *)> m_dialogHandler;
    QPointer<SerialportSettingDialog> m_handled;
};

// Answers the settings dialog with a port and a baud-rate item ("AUTO", "9600", ...).
std::function<void(SerialportSettingDialog *)> chooseLink(const QString &port,
                                                          const QString &baudItem);

// Puts the start of every UartData field back to its start-up value.
void resetUartData();

#endif
