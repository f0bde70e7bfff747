// The trend window: the history drawn over the span chosen, and the record.
#include "ui/trendwindow.h"
#include "ui_trendwindow.h"

#include "app/clock.h"
#include "trend/record.h"
#include "ui/savedialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <climits>
#include <cmath>
#include <limits>

using namespace QtCharts;

TrendWindow::TrendWindow(const trend::Histories &histories, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , histories(histories)
    , redrawTimer(new QTimer(this))
    , ui(new Ui::TrendWindow)
{
    ui->setupUi(this);
    for (const auto &[address, history] : histories)
        ui->comboBoxAddress->addItem(QString::number(address), address);
    redrawTimer->setSingleShot(true);
    connect(redrawTimer, &QTimer::timeout, this, &TrendWindow::redraw);
    chart = new QChart;
    timeAxis = new QDateTimeAxis;
    celsiusAxis = new QValueAxis;
    celsiusAxis->setTitleText(QStringLiteral("°C"));
    humidityAxis = new QValueAxis;
    humidityAxis->setTitleText(QStringLiteral("%RH"));
    humidityAxis->setGridLineVisible(false); // its ticks fall between the °C axis's lines
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(celsiusAxis, Qt::AlignLeft);
    chart->addAxis(humidityAxis, Qt::AlignRight);
    // In the chart before the view takes it: with none yet, Qt Charts never
    // draws the time axis.
    const QString names[trend::SeriesCount] = {tr("Temperature"), tr("Humidity"), tr("DewTemp"), tr("WetBulbTemp")};
    for (int s = 0; s < trend::SeriesCount; ++s)
        piece(s, 0)->setName(names[s]);
    // The view gives up the chart it was made with rather than deleting it.
    QChart *madeWith = ui->chartView->chart();
    ui->chartView->setChart(chart);
    delete madeWith;
    ui->chartView->setRenderHint(QPainter::Antialiasing);
    connect(ui->comboBoxSpan, SIGNAL(currentIndexChanged(int)), this, SLOT(redraw()));
    connect(ui->comboBoxAddress, SIGNAL(currentIndexChanged(int)), this, SLOT(redraw()));
    connect(ui->pushButtonRecord, SIGNAL(clicked()), this, SLOT(PushButtonRecordSlot()));
}

TrendWindow::~TrendWindow()
{
    delete ui;
}

void TrendWindow::readingAdded(const QDateTime &when, quint8 address, const trend::Values &values)
{
    if (ui->comboBoxAddress->findData(address) < 0) {
        // In address order; the first module with readings is the one drawn.
        int at = 0;
        while (at < ui->comboBoxAddress->count() && ui->comboBoxAddress->itemData(at).toInt() < address)
            ++at;
        ui->comboBoxAddress->insertItem(at, QString::number(address), address);
    }
    if (isVisible() && ui->comboBoxAddress->currentData().toInt() == address)
        redrawSoon();
    if (record.isOpen())
        writeRecord(trend::csvRow(when, address, values));
}

void TrendWindow::historiesCleared()
{
    ui->comboBoxAddress->clear(); // and the choice gone redraws
}

void TrendWindow::redrawSoon()
{
    // Twice a second at most, however many readings come: a watch of a whole
    // line brings dozens a second, and a day's span takes milliseconds to draw.
    if (redrawTimer->isActive())
        return;
    const qint64 since = drawn.isValid() ? drawn.elapsed() : 500;
    if (since >= 500)
        redraw();
    else
        redrawTimer->start(int(500 - since));
}

void TrendWindow::showEvent(QShowEvent *event)
{
    redraw(); // nothing is drawn while the window is closed
    QWidget::showEvent(event);
}

void TrendWindow::redraw()
{
    drawn.start();
    redrawTimer->stop();
    static const trend::History none;
    const auto chosen = histories.find(quint8(ui->comboBoxAddress->currentData().toInt()));
    const trend::History &history = chosen != histories.end() && ui->comboBoxAddress->count() ? chosen->second : none;
    const auto span = trend::Span(qMax(0, ui->comboBoxSpan->currentIndex()));
    const qint64 end = history.newest() ? history.newest() : currentDateTime().toMSecsSinceEpoch();
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(end - trend::spanMsecs(span));
    timeAxis->setRange(first, QDateTime::fromMSecsSinceEpoch(end));
    timeAxis->setFormat(trend::tickFormat(trend::spanMsecs(span) / (timeAxis->tickCount() - 1), first.time()));
    // Each value axis spans what its series show.
    double low[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    double high[2] = {std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest()};
    // A stretch with no readings for a few polls stays open: a line across it
    // would stand for readings never taken.
    const qint64 gap = std::max<qint64>(5000, 3 * trend::spanMsecs(span) / trend::MaxPoints);
    for (int s = 0; s < trend::SeriesCount; ++s) {
        const int axis = s == trend::Humidity;
        const QVector<trend::Point> points = history.points(span, trend::Series(s));
        QVector<QPointF> run;
        int used = 0;
        for (int i = 0; i < points.size(); ++i) {
            run.append(QPointF(double(points[i].msecs), points[i].value));
            low[axis] = std::min(low[axis], points[i].value);
            high[axis] = std::max(high[axis], points[i].value);
            if (i + 1 == points.size() || (points[i + 1].msecs - points[i].msecs > gap && used + 1 < MaxPieces)) {
                QLineSeries *line = piece(s, used++);
                line->replace(run);
                line->setPointsVisible(run.size() == 1); // a line of one point draws nothing
                run.clear();
            }
        }
        for (; used < pieces[s].size(); ++used) {
            if (pieces[s][used]->count())
                pieces[s][used]->clear();
        }
    }
    const auto fit = [](QValueAxis *axis, double low, double high, double lowest, double highest) {
        // Whole units and one more either side, then ticks at round numbers.
        axis->setRange(low <= high ? std::floor(low) - 1 : lowest, low <= high ? std::ceil(high) + 1 : highest);
        axis->setTickCount(5);
        axis->applyNiceNumbers();
    };
    fit(celsiusAxis, low[0], high[0], 0, 40);
    fit(humidityAxis, low[1], high[1], 0, 100);
}

QLineSeries *TrendWindow::piece(int s, int k)
{
    // Pieces are made as gaps first need them, and kept for later draws.
    if (k < pieces[s].size())
        return pieces[s][k];
    auto *line = new QLineSeries;
    chart->addSeries(line);
    line->attachAxis(timeAxis);
    line->attachAxis(s == trend::Humidity ? humidityAxis : celsiusAxis);
    if (k > 0) {
        // One colour and one legend entry a series, however many pieces.
        line->setColor(pieces[s][0]->color());
        line->setName(pieces[s][0]->name());
        chart->legend()->markers(line).constFirst()->setVisible(false);
    }
    pieces[s] << line;
    return line;
}

void TrendWindow::PushButtonRecordSlot()
{
    if (record.isOpen()) {
        record.close();
        ui->pushButtonRecord->setText(tr("Record…"));
        return;
    }
    // Appended to, never overwritten: no question about an existing file.
    const QString path = chooseSaveFile(this, tr("Record to a file"), tr("CSV files (*.csv)"), QStringLiteral("csv"),
                                        QStringLiteral("readings"), QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    switch (record.open(path, trend::csvHeader())) {
    case trend::CsvFile::Foreign:
        tell(tr("The file %1 is not a record of readings. Choose another file.").arg(QDir::toNativeSeparators(path)));
        return;
    case trend::CsvFile::Failed:
        stopRecording();
        return;
    case trend::CsvFile::Ok:
        showRecording();
        return;
    }
}

void TrendWindow::writeRecord(const QByteArray &row)
{
    // Whole and unbuffered: what the window has shown is in the file, whatever
    // happens to the program or the adapter afterwards.
    if (!record.write(row))
        stopRecording();
    else
        showRecording();
}

void TrendWindow::showRecording()
{
    // Which file, and how far it got: the button is where the technician
    // looks to stop it.
    const QString name = QFileInfo(record.path()).fileName();
    const int rows = int(qMin<qint64>(record.rows(), INT_MAX));
    ui->pushButtonRecord->setText(rows == 1 ? tr("Stop recording (%1, %n row)", nullptr, rows).arg(name)
                                            : tr("Stop recording (%1, %n rows)", nullptr, rows).arg(name));
}

void TrendWindow::stopRecording()
{
    // A full disk, a stick pulled out, no permission: said once, and the
    // rest of the tool goes on.
    record.close();
    ui->pushButtonRecord->setText(tr("Record…"));
    tell(tr("The file %1 cannot be written: %2").arg(QDir::toNativeSeparators(record.path()), record.error()));
}

void TrendWindow::tell(const QString &text)
{
    // Rows are written while a reply is being handled: a message box's own
    // event loop there would run with that reply still in the receive buffer.
    QTimer::singleShot(0, this, [this, text] { QMessageBox::information(this, tr("Error"), text); });
}
