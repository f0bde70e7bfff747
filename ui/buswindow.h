#ifndef HYGROVANE_BUSWINDOW_H
#define HYGROVANE_BUSWINDOW_H

#include "bus/scan.h"
#include "bus/schedule.h"

#include <QElapsedTimer>
#include <QVector>
#include <QWidget>

class QTimer;
class Widget;
namespace bus {
class ModuleTable;
}
namespace Ui {
class BusWindow;
}

// The modules on the line the main window linked: a scan that finds them,
// and a watch that polls them all in turn. It reaches the line only through
// the main window's one entry, and holds it while it scans or watches.
class BusWindow : public QWidget
{
    Q_OBJECT

public:
    BusWindow(Widget *line, QWidget *parent);
    ~BusWindow() override;
    // Modules the last scan saw at this rate; a garbled address holds two.
    int modulesAt(qint32 baudRate) const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    enum class Mode { Idle, Scanning, Watching };

    void scan();
    void watch();
    bool takeLine();
    void stop();
    void probeNext();
    void pollNext();
    Exchange request(quint8 address, qint32 baudRate) const;
    void showProgress();
    void showError(const QString &text);
    void followLine();
    bus::Answer lateAnswer(const QByteArray &reply, qint64 afterUs) const;

    Widget *line;
    bus::ModuleTable *modules;
    Mode mode = Mode::Idle;
    QVector<bus::Probe> plan;
    int probed = 0;
    int found = 0;
    bus::Schedule schedule;
    QElapsedTimer clock;
    QElapsedTimer shown; // since the progress was last drawn
    QTimer *roundTimer;
    int run = 0;         // scans and watches begun: a late answer belongs to its own
    int suggestedMs = 0; // the wait last chosen from the line
    Ui::BusWindow *ui;

    friend struct WidgetAccess;
};

#endif
