// The commission window: the plan, one module's run on the event loop, its
// steps as they go, and the report.
#include "ui/commissionwindow.h"
#include "ui_commissionwindow.h"

#include "app/clock.h"
#include "commission/driver.h"
#include "commission/report.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"
#include "ui/savedialog.h"
#include "link/line.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QShortcut>
#include <QTimer>

CommissionWindow::CommissionWindow(Line *line, const QStringList &sampleIntervals, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , line(line)
    , driver(new commission::Driver(line, this))
    , sampleIntervals(sampleIntervals)
    , workMode(new QButtonGroup(this))
    , ui(new Ui::CommissionWindow)
{
    ui->setupUi(this);
    connect(driver, &commission::Driver::taken, this, &CommissionWindow::pump);
    workMode->addButton(ui->radioButtonRecord);
    workMode->addButton(ui->radioButtonRealmonitoring);
    ui->radioButtonRecord->setChecked(true);
    // Named as in the main window's Record group, here and in the steps.
    ui->sample_ratecomboBox->addItems(sampleIntervals);
    ui->sample_ratecomboBox->setCurrentIndex(6); // a minute
    // The rates in the order of their codes, as the main window lists them.
    for (int code = 1; rtu::baudRateForCode(code); ++code)
        ui->comboBoxTargetBaud->addItem(QString::number(rtu::baudRateForCode(code)));
    ui->comboBoxTargetBaud->setCurrentText(QStringLiteral("9600"));
    ui->dateTimeEditstarttime->setDateTime(QDateTime::fromSecsSinceEpoch(currentDateTime().toSecsSinceEpoch() + 300));
    connect(workMode, QOverload<QAbstractButton *>::of(&QButtonGroup::buttonClicked), this, &CommissionWindow::followModes);
    connect(ui->recmodecomboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &CommissionWindow::followModes);
    connect(ui->pushButtonReport, &QPushButton::clicked, this, &CommissionWindow::chooseReport);
    connect(ui->pushButtonRun, &QPushButton::clicked, this, &CommissionWindow::runPressed);
    // Once the plan is set, the next module is one key away; a run under way
    // is not stopped by it.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        connect(new QShortcut(key, this), &QShortcut::activated, this, [this] {
            if (report.isOpen() && !run && !starting)
                ui->pushButtonRun->click();
        });
    }
    followModes();
    showCounter();
}

CommissionWindow::~CommissionWindow()
{
    driver->drop();
    line->release(this);
    delete ui;
}

void CommissionWindow::showError(const QString &text)
{
    QMessageBox::information(this, tr("Error"), text);
}

void CommissionWindow::followModes()
{
    // As the main window's record group: the start mode and the sampling
    // rate only for recording, the start time only for a timed start.
    const bool recording = ui->radioButtonRecord->isChecked();
    ui->recmodecomboBox->setEnabled(recording);
    ui->sample_ratecomboBox->setEnabled(recording);
    ui->dateTimeEditstarttime->setEnabled(recording && ui->recmodecomboBox->currentIndex() == 1);
}

void CommissionWindow::chooseReport()
{
    // Appended to, never overwritten: no question about an existing file.
    const QString path = chooseSaveFile(this, tr("Commissioning report"), tr("CSV files (*.csv)"), QStringLiteral("csv"),
                                        QStringLiteral("commission"), QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty())
        openReport(path);
}

bool CommissionWindow::openReport(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    switch (report.open(path, commission::reportHeader())) {
    case trend::CsvFile::Foreign:
        showError(tr("The file %1 is not a commissioning report. Choose another file.").arg(shown));
        break;
    case trend::CsvFile::Failed:
        showError(tr("The file %1 cannot be written: %2").arg(shown, report.error()));
        break;
    case trend::CsvFile::Ok:
        ui->labelReport->setText(shown);
        return true;
    }
    ui->labelReport->setText(tr("No report file chosen"));
    return false;
}

void CommissionWindow::runPressed()
{
    if (run) {
        run->stop();
        return;
    }
    if (starting) {
        starting = false;
        line->release(this);
        ui->pushButtonRun->setText(tr("&Commission"));
        return;
    }
    // No run without its report: a module set up and not written down is
    // the trouble this window is here to end.
    if (!report.isOpen())
        chooseReport();
    if (!report.isOpen() || !openReport(report.path()))
        return;
    if (!line->rate()) {
        showError(tr("The serial port is not open. Press Link first."));
        return;
    }
    // Finding the module asks at every rate.
    if (!line->canChangeRate())
        return showError(line->fixedRateText());
    plan.address = ui->spinBoxNextAddress->value();
    plan.baudRate = ui->comboBoxTargetBaud->currentText().toInt();
    plan.recordMode = ui->radioButtonRealmonitoring->isChecked() ? quint8(logger::MonitorOnly)
                                                                  : quint8(ui->recmodecomboBox->currentIndex() + 1);
    plan.sampleSeconds = logger::sampleSecondsForIndex(ui->sample_ratecomboBox->currentIndex());
    const qint64 now = currentDateTime().toSecsSinceEpoch();
    plan.start = logger::setupStart(plan.recordMode, ui->dateTimeEditstarttime->dateTime().toSecsSinceEpoch(), now);
    if (plan.start < 0) {
        showError(tr("Time setting error!"));
        return;
    }
    ui->dateTimeEditstarttime->setDateTime(QDateTime::fromSecsSinceEpoch(plan.start)); // as it is sent
    if (given.contains(plan.address)) {
        showError(tr("Address %1 has been given in this batch already.").arg(plan.address));
        return;
    }
    const QString busy = line->claim(this, tr("The line is busy with commissioning. Stop it first."), [this] {
        starting = false;
        if (run) {
            // Link stops a run; a port that died or a search that failed fails it, saying why.
            const QString why = line->claimEndedBy();
            cutOff();
            why.isEmpty() ? run->stop() : run->abort(why);
            finish();
        } else {
            ui->pushButtonRun->setText(tr("&Commission"));
            dropQuestion();
        }
    });
    if (!busy.isEmpty()) {
        showError(busy);
        return;
    }
    ui->pushButtonRun->setText(tr("&Stop"));
    ui->listSteps->clear();
    starting = true;
    start();
}

void CommissionWindow::start()
{
    // Two modules never get the same serial number: within the second the
    // last one was given, the clock's has to move on first.
    if (!starting)
        return;
    if (asking) {
        held = true;
        return;
    }
    if (const int wait = commission::msUntilNewSerial(currentDateTime(), lastSerial)) {
        QTimer::singleShot(wait, this, &CommissionWindow::start);
        return;
    }
    starting = false;
    confirmed = false;
    run = std::make_unique<commission::Run>(plan, commission::serialNumber(currentDateTime()), sampleIntervals);
    pump();
}

void CommissionWindow::pump()
{
    showSteps();
    // The technician's answer may end the run: until then nothing more of
    // it goes out, nor is its row written.
    if (asking) {
        held = true;
        return;
    }
    // Found with the address and serial number this batch gave it: the same
    // module again, most likely, not yet swapped for the next.
    if (run->step() == commission::Step::Address && !confirmed && run->result() == commission::Run::Running) {
        confirmed = true;
        const int address = run->oldAddress();
        if (modulesDone.contains(QStringLiteral("%1 %2").arg(address).arg(run->foundSerial()))) {
            held = true;
            ask({[this, address] {
                     return run ? tr("This module was commissioned a moment ago (address %1). Commission it again?").arg(address)
                                : QString();
                 },
                 [this](QMessageBox::StandardButton answer) {
                     if (answer == QMessageBox::No && run)
                         run->stop(tr("declined: commissioned a moment ago"));
                 }});
            return;
        }
    }
    switch (driver->next(run.get())) {
    case commission::Driver::Sent:
        break;
    case commission::Driver::NoLine:
        run->abort(tr("The serial port is not open. Press Link first."));
        [[fallthrough]];
    case commission::Driver::Over:
        finish();
        break;
    }
}

void CommissionWindow::cutOff()
{
    // Ended before the answer came: the report may not say it was written,
    // nor that it was not.
    driver->cutOff(run.get());
}

void CommissionWindow::finish()
{
    int next = -1;
    const bool written = report.write(commission::reportRow(currentDateTime(), *run));
    run->reported(written, written ? QString() : tr("the report cannot be written: %1").arg(report.error()));
    showSteps();
    ui->listSteps->addItem(run->outcome());
    const commission::Run::Result result = run->result();
    if (result == commission::Run::Ok) {
        ++done;
        given.insert(run->plan().address);
        modulesDone.insert(QStringLiteral("%1 %2").arg(run->plan().address).arg(run->serialNumber()));
        lastSerial = run->serialNumber();
        next = commission::nextAddress(run->plan().address, given);
        if (next)
            ui->spinBoxNextAddress->setValue(next);
    } else if (result == commission::Run::Failed) {
        ++failed;
    }
    const QString collision = run->collided() ? run->failure()->text : QString();
    driver->drop();
    line->release(this);
    driver->tellMoved(*run);
    run.reset();
    ui->pushButtonRun->setText(tr("&Commission"));
    showCounter();
    dropQuestion();
    if (!collision.isEmpty())
        showError(collision);
    if (next == 0)
        showError(tr("Every address from 1 to 247 has been given in this batch."));
}

bool CommissionWindow::mayClose()
{
    if (!run && !starting)
        return true;
    // Asked once another question is answered, if the run is still on then;
    // it names the step the run stands at when it opens.
    auto answer = std::make_shared<int>(-1);
    auto told = std::make_shared<commission::Step>(commission::Step::Find);
    QEventLoop wait;
    QPointer<QEventLoop> waiting(&wait);
    ask({[this, told] {
             if (!run && !starting)
                 return QString();
             *told = run ? run->step() : commission::Step::Find;
             return tr("A module is being commissioned (step: %1). Stop the run?").arg(commission::stepName(*told));
         },
         [this, answer, told, waiting](QMessageBox::StandardButton button) {
             *answer = button;
             if (button == QMessageBox::Yes) {
                 starting = false;
                 if (run) {
                     // Ended here, not after the exchange on the line: the
                     // window may not be there to see it end. Its row says
                     // where it stopped.
                     cutOff();
                     run->stop(*told);
                     finish();
                 } else {
                     line->release(this);
                     ui->pushButtonRun->setText(tr("&Commission"));
                 }
             }
             if (waiting)
                 waiting->quit();
         }});
    if (*answer < 0)
        wait.exec();
    return *answer == QMessageBox::Yes || *answer == QMessageBox::NoButton;
}

void CommissionWindow::dropQuestion()
{
    // A question about a run is out of date once the run is over.
    held = false;
    if (asking)
        asking->done(QMessageBox::NoButton);
}

void CommissionWindow::ask(const Question &question)
{
    questions.append(question);
    if (!asking)
        askNext();
}

void CommissionWindow::askNext()
{
    while (!asking && !questions.isEmpty()) {
        const Question question = questions.takeFirst();
        const QString text = question.text();
        if (text.isEmpty()) {
            question.answered(QMessageBox::NoButton);
            continue;
        }
        auto *box = new QMessageBox(QMessageBox::Question, tr("Commission"), text, QMessageBox::Yes | QMessageBox::No, this);
        box->setDefaultButton(QMessageBox::No);
        box->setWindowModality(Qt::ApplicationModal);
        connect(box, &QMessageBox::finished, this, [this, box, answered = question.answered] {
            box->deleteLater();
            asking = nullptr;
            QAbstractButton *clicked = box->clickedButton();
            answered(!clicked ? QMessageBox::NoButton : box->standardButton(clicked) == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No);
            askNext();
        });
        asking = box;
        box->show();
    }
    // The last one answered: the run goes on where it paused.
    if (!asking && held) {
        held = false;
        run ? pump() : start();
    }
}

void CommissionWindow::closeEvent(QCloseEvent *event)
{
    if (!mayClose())
        event->ignore();
}

void CommissionWindow::showSteps()
{
    if (!run)
        return;
    const auto &verdicts = run->verdicts();
    for (int i = ui->listSteps->count(); i < verdicts.size(); ++i) {
        const commission::Run::Verdict &v = verdicts[i];
        ui->listSteps->addItem(v.failed ? tr("%1: failed, %2").arg(commission::stepName(v.step), v.text)
                                        : tr("%1: %2").arg(commission::stepName(v.step), v.text));
    }
}

void CommissionWindow::showCounter()
{
    ui->labelCounter->setText(tr("This batch: %1 done, %2 failed").arg(done).arg(failed));
}
