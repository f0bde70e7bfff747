#ifndef HYGROVANE_TRENDWINDOW_H
#define HYGROVANE_TRENDWINDOW_H

#include "trend/csvfile.h"
#include "trend/history.h"

#include <QElapsedTimer>
#include <QVector>
#include <QWidget>

class QDateTime;
class QTimer;
namespace QtCharts {
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}
namespace Ui {
class TrendWindow;
}

// The readings over time, drawn from the window's history, and the record of
// them in a CSV file. A window of its own, beside the main one.
class TrendWindow : public QWidget
{
    Q_OBJECT

public:
    TrendWindow(const trend::Histories &histories, QWidget *parent);
    ~TrendWindow() override;

    // A reading was shown and added to the history: draw it (if it is of the
    // module chosen), and while recording, write it.
    void readingAdded(const QDateTime &when, quint8 address, const trend::Values &values);
    // The history was emptied (Link chose another port): no module is left to choose.
    void historiesCleared();
    // The record, open while recording.
    const trend::CsvFile &recordFile() const { return record; }

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void redraw();
    void PushButtonRecordSlot();

private:
    QtCharts::QLineSeries *piece(int series, int k);
    void writeRecord(const QByteArray &row);
    void stopRecording();
    void showRecording();
    void tell(const QString &text);
    void redrawSoon();

    const trend::Histories &histories;
    QTimer *redrawTimer;
    QElapsedTimer drawn; // since the last redraw
    // Each series is drawn in pieces split at gaps in the readings; past
    // MaxPieces the rest is joined, so that a patchy day stays cheap to draw.
    static constexpr int MaxPieces = 32;
    QVector<QtCharts::QLineSeries *> pieces[trend::SeriesCount];
    QtCharts::QChart *chart;
    QtCharts::QDateTimeAxis *timeAxis;
    QtCharts::QValueAxis *celsiusAxis;
    QtCharts::QValueAxis *humidityAxis;
    trend::CsvFile record;
    Ui::TrendWindow *ui;

    friend struct WidgetAccess;
};

#endif
