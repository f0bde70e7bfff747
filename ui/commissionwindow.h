#ifndef HYGROVANE_COMMISSIONWINDOW_H
#define HYGROVANE_COMMISSIONWINDOW_H

#include "commission/run.h"
#include "trend/csvfile.h"

#include <QMessageBox>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>

class QButtonGroup;
class Line;
namespace commission {
class Driver;
}
namespace Ui {
class CommissionWindow;
}

// Commissioning a batch: one plan applied to each module put on the line in
// turn, every write read back, one report row a module. It reaches the line
// only through the main window's one entry, and holds it while a run is on.
class CommissionWindow : public QWidget
{
    Q_OBJECT

public:
    CommissionWindow(Line *line, const QStringList &sampleIntervals, QWidget *parent);
    ~CommissionWindow() override;
    // Whether the window may go (or the program quit): a run under way is
    // stopped, and its row written, only if the technician says so.
    bool mayClose();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void chooseReport();
    bool openReport(const QString &path);
    void runPressed();
    void start();
    void pump();
    void cutOff();
    void finish();
    // The window's questions, one open at a time, the others waiting their
    // turn. A question's text is made when it opens: empty, it is no longer
    // needed and is answered NoButton unseen, as is one dropped while open.
    struct Question
    {
        std::function<QString()> text;
        std::function<void(QMessageBox::StandardButton)> answered;
    };
    void ask(const Question &question);
    void askNext();
    void dropQuestion();
    void showSteps();
    void showCounter();
    void followModes();
    void showError(const QString &text);

    Line *line;
    commission::Driver *driver;
    QStringList sampleIntervals; // the Record group's names of the intervals
    commission::Plan plan;
    bool starting = false; // waiting for the clock to give a new serial number
    std::unique_ptr<commission::Run> run;
    QVector<Question> questions; // waiting for the one open to be answered
    QPointer<QMessageBox> asking;
    bool held = false; // the run went no further while a question was open
    trend::CsvFile report;
    QSet<int> given;      // addresses given in this batch
    QSet<QString> modulesDone; // "address serial" of the modules this batch commissioned
    bool confirmed = false;   // the run's module is to be commissioned again
    QString lastSerial;   // the serial number given last
    int done = 0;
    int failed = 0;
    QButtonGroup *workMode;
    Ui::CommissionWindow *ui;

    friend struct WidgetAccess;
};

#endif
