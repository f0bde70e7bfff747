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
        stop();
        showProgress();
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
    line->exchange(this, x);
}
