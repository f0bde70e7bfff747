// The trend window: the history drawn over the span chosen, and the record.
#include "ui/trendwindow.h"
#include "ui_trendwindow.h"

#include "app/clock.h"
#include "trend/record.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>
#include <limits>

using namespace QtCharts;

TrendWindow::TrendWindow(const trend::History &history, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , history(history)
    , ui(new Ui::TrendWindow)
{
    ui->setupUi(this);
    auto *chart = new QChart;
    timeAxis = new QDateTimeAxis;
    timeAxis->setFormat(QStringLiteral("hh:mm"));
    celsiusAxis = new QValueAxis;
    celsiusAxis->setTitleText(QStringLiteral("°C"));
    humidityAxis = new QValueAxis;
    humidityAxis->setTitleText(QStringLiteral("%RH"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(celsiusAxis, Qt::AlignLeft);
    chart->addAxis(humidityAxis, Qt::AlignRight);
    const QString names[trend::SeriesCount] = {tr("Temperature"), tr("Humidity"), tr("DewTemp"), tr("WetBulbTemp")};
    for (int s = 0; s < trend::SeriesCount; ++s) {
        series[s] = new QLineSeries;
        series[s]->setName(names[s]);
        chart->addSeries(series[s]);
        series[s]->attachAxis(timeAxis);
        series[s]->attachAxis(s == trend::Humidity ? humidityAxis : celsiusAxis);
    }
    // The view gives up the chart it was made with rather than deleting it.
    QChart *madeWith = ui->chartView->chart();
    ui->chartView->setChart(chart);
    delete madeWith;
    ui->chartView->setRenderHint(QPainter::Antialiasing);
    connect(ui->comboBoxSpan, SIGNAL(currentIndexChanged(int)), this, SLOT(redraw()));
    connect(ui->pushButtonRecord, SIGNAL(clicked()), this, SLOT(PushButtonRecordSlot()));
}

TrendWindow::~TrendWindow()
{
    delete ui;
}

void TrendWindow::readingAdded(const QDateTime &when, quint8 address, const trend::Values &values)
{
    if (isVisible())
        redraw();
    if (record.isOpen())
        writeRecord(trend::csvRow(when, address, values));
}

void TrendWindow::showEvent(QShowEvent *event)
{
    redraw(); // nothing is drawn while the window is closed
    QWidget::showEvent(event);
}

void TrendWindow::redraw()
{
    const auto span = trend::Span(qMax(0, ui->comboBoxSpan->currentIndex()));
    const qint64 end = history.newest() ? history.newest() : currentDateTime().toMSecsSinceEpoch();
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(end - trend::spanMsecs(span)), QDateTime::fromMSecsSinceEpoch(end));
    // Each value axis spans what its series show, in whole units and one more either side.
    double low[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    double high[2] = {std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest()};
    for (int s = 0; s < trend::SeriesCount; ++s) {
        const int axis = s == trend::Humidity;
        QVector<QPointF> points;
        for (const trend::Point &p : history.points(span, trend::Series(s))) {
            points.append(QPointF(double(p.msecs), p.value));
            low[axis] = std::min(low[axis], p.value);
            high[axis] = std::max(high[axis], p.value);
        }
        series[s]->replace(points);
    }
    celsiusAxis->setRange(low[0] <= high[0] ? std::floor(low[0]) - 1 : 0, low[0] <= high[0] ? std::ceil(high[0]) + 1 : 40);
    humidityAxis->setRange(low[1] <= high[1] ? std::floor(low[1]) - 1 : 0, low[1] <= high[1] ? std::ceil(high[1]) + 1 : 100);
}

void TrendWindow::PushButtonRecordSlot()
{
    if (record.isOpen()) {
        record.close();
        ui->pushButtonRecord->setText(tr("Record…"));
        return;
    }
    // Appended to, never overwritten: no question about an existing file.
    const QString path = QFileDialog::getSaveFileName(this, tr("Record to a file"), QString(), tr("CSV files (*.csv)"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    record.setFileName(path);
    if (!record.open(QIODevice::WriteOnly | QIODevice::Append)) {
        stopRecording();
        return;
    }
    // An existing record goes on under the header it already has.
    if (record.size() == 0 && !writeRecord(trend::csvHeader()))
        return;
    ui->pushButtonRecord->setText(tr("Stop recording"));
}

bool TrendWindow::writeRecord(const QByteArray &bytes)
{
    // Whole and flushed at once: what the window has shown is in the file,
    // whatever happens to the program or the adapter afterwards.
    if (record.write(bytes) == bytes.size() && record.flush())
        return true;
    stopRecording();
    return false;
}

void TrendWindow::stopRecording()
{
    // A full disk, a stick pulled out, no permission: said once, and the
    // rest of the tool goes on.
    const QString reason = record.errorString();
    record.close();
    ui->pushButtonRecord->setText(tr("Record…"));
    QMessageBox::information(this, tr("Error"), tr("The file %1 cannot be written: %2")
                                                    .arg(QDir::toNativeSeparators(record.fileName()), reason));
}
