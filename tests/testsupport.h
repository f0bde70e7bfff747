#ifndef HYGROVANE_TESTSUPPORT_H
#define HYGROVANE_TESTSUPPORT_H

#include "ui/widget.h"
#include "ui_widget.h"

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

private:
    void poll();
    QTimer m_timer;
    QList<Seen> m_seen;
};

// Puts the start of every UartData field back to its start-up value.
void resetUartData();

#endif
