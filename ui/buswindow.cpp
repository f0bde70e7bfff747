// The bus window: the scan and the watch, one request at a time through the
// main window's line.
#include "ui/buswindow.h"
#include "ui_buswindow.h"

#include "app/clock.h"
#include "bus/moduletable.h"
#include "publish/publisher.h"
#include "ui/publishdialog.h"
#include "ui/widget.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QTimer>

BusWindow::BusWindow(Widget *line, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , line(line)
    , modules(new bus::ModuleTable(this))
    , roundTimer(new QTimer(this))
    , ui(new Ui::BusWindow)
{
    ui->setupUi(this);
    ui->tableModules->setModel(modules);
    // Columns are fitted when rows come, not at every poll: fitting them
    // measures every cell, which at 32 polls a second costs more than the
    // polls themselves.
    ui->tableModules->horizontalHeader()->setStretchLastSection(true);
    connect(modules, &QAbstractItemModel::rowsInserted, ui->tableModules, &QTableView::resizeColumnsToContents);
    roundTimer->setSingleShot(true);
    connect(roundTimer, &QTimer::timeout, this, &BusWindow::pollNext);
    connect(ui->pushButtonScan, &QPushButton::clicked, this, &BusWindow::scan);
    connect(ui->pushButtonWatch, &QPushButton::clicked, this, &BusWindow::watch);
    // The watch's modules coming and going, and the one place to publish them.
    connect(modules, &bus::ModuleTable::availability, line->publisher(), &publish::Publisher::setAvailability);
    connect(ui->pushButtonPublish, &QPushButton::clicked, this, [this, line] { PublishDialog::bringUp(line->publisher(), this); });
    showProgress();
    followLine();
}

int BusWindow::modulesAt(qint32 baudRate) const
{
    return modules->modulesAt(baudRate);
}

void BusWindow::showEvent(QShowEvent *event)
{
    followLine();
    QWidget::showEvent(event);
}

void BusWindow::followLine()
{
    // "Answer within" starts from the pace the linked module showed, until
    // the technician sets it.
    const int suggested = bus::defaultAnswerMs(line->measuredAnswerMs());
    if (ui->spinBoxAnswerMs->value() == suggestedMs || suggestedMs == 0)
        ui->spinBoxAnswerMs->setValue(suggested);
    suggestedMs = suggested;
}

bus::Answer BusWindow::lateAnswer(const QByteArray &reply, qint64 afterUs) const
{
    bus::Answer answer = bus::answerOf(Exchange::Answered, reply);
    answer.lateMs = int(qMax<qint64>(1, (afterUs + 999) / 1000));
    return answer;
}

BusWindow::~BusWindow()
{
    stop();
    delete ui;
}

void BusWindow::showError(const QString &text)
{
    QMessageBox::information(this, tr("Error"), text);
}

bool BusWindow::takeLine()
{
    if (!line->linkRate()) {
        showError(tr("The serial port is not open. Press Link first."));
        return false;
    }
    const QString busy = line->claimLine(this, tr("The line is busy with the bus window. Stop it first."), [this] { stop(); });
    if (!busy.isEmpty()) {
        showError(busy);
        return false;
    }
    return true;
}

void BusWindow::stop()
{
    roundTimer->stop();
    line->cancelExchanges(this);
    line->releaseLine(this);
    mode = Mode::Idle;
    ui->pushButtonScan->setText(tr("Scan"));
    ui->pushButtonWatch->setText(tr("Watch"));
}

Exchange BusWindow::request(quint8 address, qint32 baudRate) const
{
    const int answerMs = ui->spinBoxAnswerMs->value();
    Exchange x;
    x.frame = bus::measurementRead(address);
    x.baudRate = baudRate;
    x.firstByteUs = bus::firstByteUs(baudRate, answerMs);
    x.silenceUs = bus::silenceUs(baudRate, answerMs);
    return x;
}

void BusWindow::scan()
{
    const bool wasScanning = mode == Mode::Scanning;
    stop();
    if (wasScanning || !takeLine())
        return;
    followLine();
    ++run;
    plan = bus::scanPlan(ui->spinBoxFrom->value(), ui->spinBoxTo->value(), ui->checkBoxAllRates->isChecked(),
                         line->linkRate());
    probed = found = 0;
    modules->clear();
    mode = Mode::Scanning;
    ui->pushButtonScan->setText(tr("Stop"));
    showProgress();
    probeNext();
}

void BusWindow::probeNext()
{
    if (probed == plan.size()) {
        // The last address gets as long again for a late answer, which has
        // no next address to come in behind.
        const qint64 tailUs = plan.isEmpty() ? 0 : bus::firstByteUs(plan.last().baudRate, ui->spinBoxAnswerMs->value());
        QTimer::singleShot(int(tailUs / 1000), this, [this, scan = run] {
            if (scan == run && mode == Mode::Scanning) {
                stop();
                showProgress();
            }
        });
        return;
    }
    const bus::Probe probe = plan[probed];
    Exchange x = request(probe.address, probe.baudRate);
    x.done = [this, probe](Exchange::Outcome outcome, const QByteArray &reply) {
        const bus::Answer answer = bus::answerOf(outcome, reply);
        modules->found(probe, answer, currentDateTime());
        found += answer.kind != bus::Answer::Silence;
        ++probed;
        if (answer.kind != bus::Answer::Silence)
            shown.invalidate(); // a module found is shown at once
        showProgress();
        probeNext();
    };
    // Not blamed on the next address: listed, saying how late it came.
    x.late = [this, probe, scan = run](const QByteArray &reply, qint64 afterUs) {
        if (scan != run)
            return;
        modules->found(probe, lateAnswer(reply, afterUs), currentDateTime());
        ++found;
        shown.invalidate();
        showProgress();
    };
    line->exchange(this, x);
}

void BusWindow::showProgress()
{
    // Drawn four times a second at most: at every address it would cost the
    // scan more than its own work does.
    if (mode == Mode::Scanning && probed < plan.size() && shown.isValid() && shown.elapsed() < 250)
        return;
    shown.start();
    ui->progressBarScan->setMaximum(qMax(1, plan.size()));
    ui->progressBarScan->setValue(probed);
    ui->progressBarScan->setFormat(tr("%1 of %2 addresses, %3 modules found").arg(probed).arg(plan.size()).arg(found));
}

void BusWindow::watch()
{
    const bool wasWatching = mode == Mode::Watching;
    stop();
    if (wasWatching)
        return;
    if (line->linkRate() && !modules->watched(line->linkRate()).contains(true)) {
        showError(tr("No module to watch: tick modules the scan found at the link's rate."));
        return;
    }
    if (!takeLine())
        return;
    mode = Mode::Watching;
    ++run;
    ui->pushButtonWatch->setText(tr("Stop watching"));
    schedule = bus::Schedule();
    clock.start();
    pollNext();
}

void BusWindow::pollNext()
{
    qint64 waitMs = 0;
    const int row = schedule.next(modules->watched(line->linkRate()), clock.elapsed(), &waitMs);
    if (row < 0) {
        roundTimer->start(int(waitMs));
        return;
    }
    Exchange x = request(modules->address(row), line->linkRate());
    x.done = [this, row](Exchange::Outcome outcome, const QByteArray &reply) {
        const bus::Answer answer = bus::answerOf(outcome, reply);
        modules->polled(row, answer, currentDateTime());
        if (answer.kind == bus::Answer::Values)
            line->addReading(modules->address(row), answer.values);
        pollNext();
    };
    // It counts for the module that sent it, not against the next one.
    x.late = [this, row, watch = run](const QByteArray &reply, qint64 afterUs) {
        if (watch != run)
            return;
        const bus::Answer answer = lateAnswer(reply, afterUs);
        modules->answeredLate(row, answer, currentDateTime());
        if (answer.kind == bus::Answer::Values)
            line->addReading(modules->address(row), answer.values);
    };
    line->exchange(this, x);
}
