#ifndef HYGROVANE_BUSWINDOW_H
#define HYGROVANE_BUSWINDOW_H

#include "bus/scan.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QVector>
#include <QWidget>

class QAction;
class QSortFilterProxyModel;
class QTimer;
class Line;
namespace publish {
class Publisher;
}
namespace trend {
class CsvFile;
}
namespace bus {
class ModuleTable;
class Changer;
class Scanner;
class Watcher;
}
namespace Ui {
class BusWindow;
}

// The modules on the line the main window linked: a scan that finds them,
// and a watch that polls them all in turn, and a single module's address or
// rate changed at its own address. It reaches the line only through the main
// window's one entry, and holds it while it scans, watches or changes one.
class BusWindow : public QWidget
{
    Q_OBJECT

public:
    BusWindow(Line *line, publish::Publisher *publisher, QWidget *parent);
    ~BusWindow() override;
    // Modules the last scan saw at this rate; a garbled address holds two at least.
    int modulesAt(qint32 baudRate, bool *atLeast = nullptr) const;
    // The record the status line tells of, while it is open.
    std::function<const trend::CsvFile *()> recordOf;

signals:
    // A watched module's readings, as they came.
    void reading(const QDateTime &when, quint8 address, const trend::Values &values);

protected:
    void showEvent(QShowEvent *event) override;

protected:
    // Nothing goes on unseen: closing ends a scan or a watch and frees the line.
    void closeEvent(QCloseEvent *event) override;

private:
    enum class Mode { Idle, Scanning, Watching, Changing };

    void scan();
    void watch();
    bool takeLine();
    void stop();
    void showProgress();
    void showStatus();
    void showError(const QString &text);
    void tell(const QString &text);
    void followLine();
    void updateActions();
    int selectedRow() const;
    void changeModule(bool baudRate);
    void endChange(const QString &failure);
    void linked(const QString &port);
    void saveTable();
    void saveForGateway();
    void copyCells();
    void contextMenu(const QPoint &at);

    Line *line;
    publish::Publisher *publisher;
    bus::ModuleTable *modules;
    Mode mode = Mode::Idle;
    bus::Scanner *scanner;
    bus::Watcher *watcher;
    bus::Changer *changer;
    QElapsedTimer shown; // since the progress was last drawn
    int suggestedMs = 0; // the wait last chosen from the line
    QTimer *statusTimer;
    QSortFilterProxyModel *sorted;
    QAction *actionModuleAddress;
    QAction *actionModuleBaud;
    QAction *actionCopy;
    QAction *actionSaveTable;
    QString tablePort;        // the port the rows were found on
    QString notice;           // what was just done, on the status line
    QElapsedTimer told;       // since it was said
    QString saved;            // what the last save of the table wrote, told until savedShown ends
    QDeadlineTimer savedShown{0};
    Ui::BusWindow *ui;

    friend struct WidgetAccess;
};

#endif
