// The bus window: the scan and the watch, one request at a time through the
// main window's line, and one module's address or rate changed from its row.
#include "ui/buswindow.h"
#include "ui_buswindow.h"

#include "app/clock.h"
#include "bus/moduletable.h"
#include "gateway/config.h"
#include "bus/changer.h"
#include "bus/scanner.h"
#include "bus/watcher.h"
#include "publish/publisher.h"
#include "ui/publishdialog.h"
#include "ui/savedialog.h"
#include "protocol/rtu.h"
#include "trend/csvfile.h"
#include "link/line.h"

#include <QAction>
#include <QBrush>
#include <QPalette>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>

namespace {

QAction *action(QWidget *on, const QString &name, const QString &text, const QKeySequence &keys = {})
{
    auto *made = new QAction(text, on);
    made->setObjectName(name);
    made->setShortcut(keys);
    on->addAction(made);
    return made;
}

// An input dialog that stays open while its value is refused, saying why.
class CheckedInput : public QInputDialog
{
public:
    using QInputDialog::QInputDialog;
    std::function<QString()> refuse;
    void setup(const QString &label)
    {
        question = label;
        setLabelText(label);
    }
    void done(int result) override
    {
        const QString why = result == Accepted && refuse ? refuse() : QString();
        if (why.isEmpty())
            return QInputDialog::done(result);
        setLabelText(why + QLatin1Char('\n') + question);
    }

private:
    QString question;
};

// The table as the window shows it: sorted, and a module's stale values greyed.
class TableView : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::ForegroundRole && QSortFilterProxyModel::data(index, bus::ModuleTable::StaleRole).toBool())
            return QBrush(QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
        return QSortFilterProxyModel::data(index, role);
    }
};

} // namespace

BusWindow::BusWindow(Line *line, publish::Publisher *publisher, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , line(line)
    , publisher(publisher)
    , modules(new bus::ModuleTable(this))
    , scanner(new bus::Scanner(line, modules, this))
    , watcher(new bus::Watcher(line, modules, this))
    , changer(new bus::Changer(line, modules, this))
    , statusTimer(new QTimer(this))
    , sorted(new TableView(this))
    , ui(new Ui::BusWindow)
{
    ui->setupUi(this);
    // Rows in address order, then rate, whatever order the scan found them
    // in; a click on a header sorts by that column. Everything below that
    // names a row means the table's own row, mapped from the view's.
    sorted->setSourceModel(modules);
    sorted->setSortRole(bus::ModuleTable::SortRole);
    ui->tableModules->setModel(sorted);
    ui->tableModules->setSortingEnabled(true);
    ui->tableModules->sortByColumn(bus::ModuleTable::Address, Qt::AscendingOrder);
    // Columns are fitted when rows come, not at every poll: fitting them
    // measures every cell, which at 32 polls a second costs more than the
    // polls themselves.
    ui->tableModules->horizontalHeader()->setStretchLastSection(true);
    connect(modules, &QAbstractItemModel::rowsInserted, ui->tableModules, &QTableView::resizeColumnsToContents);
    connect(scanner, &bus::Scanner::progressed, this, [this](bool news) {
        if (news)
            shown.invalidate(); // a module found is shown at once
        showProgress();
    });
    connect(scanner, &bus::Scanner::finished, this, [this] {
        stop();
        showProgress();
    });
    // A scan run to its end says which of its addresses hold no module any more.
    connect(scanner, &bus::Scanner::covered, publisher, &publish::Publisher::lineScanned);
    // The watch's readings go to the broker as they come.
    connect(watcher, &bus::Watcher::reading, publisher, &publish::Publisher::addReading);
    connect(watcher, &bus::Watcher::reading, this, &BusWindow::reading);
    connect(ui->spinBoxAnswerMs, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int ms) {
        scanner->setAnswerMs(ms);
        watcher->setAnswerMs(ms);
        changer->setAnswerMs(ms);
    });
    connect(changer, &bus::Changer::ended, this, [this](const QString &failure) {
        if (failure.isEmpty()) {
            const bus::Changer::Change &c = changer->change();
            ui->tableModules->selectRow(sorted->mapFromSource(modules->index(c.row, 0)).row());
            tell(tr("The module answers at address %1, %2 baud now.").arg(c.newAddress).arg(c.newBaudRate));
        }
        endChange(failure);
    });
    connect(ui->pushButtonScan, &QPushButton::clicked, this, &BusWindow::scan);
    connect(ui->pushButtonWatch, &QPushButton::clicked, this, &BusWindow::watch);

    actionModuleAddress = action(this, QStringLiteral("actionModuleAddress"), ui->pushButtonModuleAddress->text());
    actionModuleBaud = action(this, QStringLiteral("actionModuleBaud"), ui->pushButtonModuleBaud->text());
    actionSaveTable = action(this, QStringLiteral("actionSaveTable"), ui->pushButtonSaveTable->text(), QKeySequence::Save);
    actionCopy = action(ui->tableModules, QStringLiteral("actionCopy"), tr("&Copy"), QKeySequence::Copy);
    actionCopy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(actionModuleAddress, &QAction::triggered, this, [this] { changeModule(false); });
    connect(actionModuleBaud, &QAction::triggered, this, [this] { changeModule(true); });
    connect(actionSaveTable, &QAction::triggered, this, &BusWindow::saveTable);
    connect(actionCopy, &QAction::triggered, this, &BusWindow::copyCells);
    connect(ui->pushButtonModuleAddress, &QPushButton::clicked, actionModuleAddress, &QAction::trigger);
    connect(ui->pushButtonModuleBaud, &QPushButton::clicked, actionModuleBaud, &QAction::trigger);
    connect(ui->pushButtonSaveTable, &QPushButton::clicked, actionSaveTable, &QAction::trigger);
    connect(action(this, QStringLiteral("actionScan"), tr("Scan"), Qt::Key_F5), &QAction::triggered, this, [this] {
        if (mode != Mode::Scanning)
            scan();
    });
    connect(action(this, QStringLiteral("actionStop"), tr("Stop"), Qt::Key_Escape), &QAction::triggered, this, &BusWindow::stop);
    ui->tableModules->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->tableModules, &QWidget::customContextMenuRequested, this, &BusWindow::contextMenu);
    connect(ui->tableModules->selectionModel(), &QItemSelectionModel::selectionChanged, this, &BusWindow::updateActions);

    // What runs, how far it got and the record: redrawn twice a second
    // rather than at every poll.
    connect(statusTimer, &QTimer::timeout, this, [this] {
        if (mode != Mode::Scanning)
            return showStatus();
        shown.invalidate();
        showProgress();
    });
    statusTimer->start(500);
    showProgress();
    updateActions();
    showStatus();
    // The watch's modules coming and going, and the one place to publish them.
    connect(modules, &bus::ModuleTable::availability, publisher, &publish::Publisher::setAvailability);
    connect(ui->pushButtonPublish, &QPushButton::clicked, this, [this] { PublishDialog::bringUp(this->publisher, this); });
    connect(line, &Line::linked, this, &BusWindow::linked);
    connect(ui->pushButtonSaveGateway, &QPushButton::clicked, this, &BusWindow::saveForGateway);
    followLine();
}

void BusWindow::linked(const QString &port)
{
    // The rows are modules of the line they were found on: another port's
    // modules are none of them, and a watch or a change must not act on them.
    if (port == tablePort)
        return;
    stop();
    modules->clear();
    tablePort.clear();
    scanner->clear();
    showProgress();
    showStatus();
}

int BusWindow::modulesAt(qint32 baudRate, bool *atLeast) const
{
    return modules->modulesAt(baudRate, atLeast);
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
    const int suggested = rtu::defaultAnswerMs(line->measuredAnswerMs());
    if (ui->spinBoxAnswerMs->value() == suggestedMs || suggestedMs == 0)
        ui->spinBoxAnswerMs->setValue(suggested);
    suggestedMs = suggested;
}

BusWindow::~BusWindow()
{
    stop();
    delete ui;
}

void BusWindow::closeEvent(QCloseEvent *event)
{
    stop();
    QWidget::closeEvent(event);
}

void BusWindow::tell(const QString &text)
{
    notice = text;
    told.start();
    showStatus();
}

void BusWindow::showError(const QString &text)
{
    QMessageBox::information(this, tr("Error"), text);
}

bool BusWindow::takeLine()
{
    if (!line->rate()) {
        showError(tr("The serial port is not open. Press Link first."));
        return false;
    }
    const QString busy = line->claim(this, tr("The line is busy with the bus window. Stop it first."), [this] { stop(); });
    if (!busy.isEmpty()) {
        showError(busy);
        return false;
    }
    return true;
}

void BusWindow::stop()
{
    const Mode was = mode;
    scanner->stop();
    watcher->stop();
    changer->stop();
    line->cancelExchanges(this);
    line->release(this);
    mode = Mode::Idle;
    modules->setWatchRate(0);
    ui->pushButtonScan->setText(tr("&Scan"));
    ui->pushButtonWatch->setText(tr("&Watch"));
    if (was == Mode::Scanning) {
        shown.invalidate(); // where it stopped, not where it was last drawn
        showProgress();
    }
    updateActions();
    showStatus();
}

void BusWindow::scan()
{
    const bool wasScanning = mode == Mode::Scanning;
    // A range the wrong way round scans nothing: the table found last stays.
    if (!wasScanning && ui->spinBoxFrom->value() > ui->spinBoxTo->value()) {
        showError(tr("Addresses from %1 to %2 hold no address: the first must not be above the last.")
                      .arg(ui->spinBoxFrom->value())
                      .arg(ui->spinBoxTo->value()));
        return;
    }
    // A watch's polls and misses are its record of the line: not wiped
    // without a word.
    if (mode == Mode::Watching
        && QMessageBox::question(this, tr("Scan"), tr("Stop the watch and scan again? The table is cleared."),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    stop();
    if (wasScanning)
        return;
    if (ui->checkBoxAllRates->isChecked() && line->isOpen() && !line->canChangeRate())
        return showError(line->fixedRateText());
    if (!takeLine())
        return;
    followLine();
    tablePort = line->portName();
    mode = Mode::Scanning;
    scanner->start(bus::scanPlan(ui->spinBoxFrom->value(), ui->spinBoxTo->value(), ui->checkBoxAllRates->isChecked(),
                                 line->rate()),
                   ui->spinBoxAnswerMs->value());
    ui->pushButtonScan->setText(tr("S&top"));
    updateActions();
    showProgress();
}

void BusWindow::showProgress()
{
    // Drawn four times a second at most: at every address it would cost the
    // scan more than its own work does.
    const QVector<bus::Probe> &plan = scanner->plan();
    const int probed = scanner->probed(), found = scanner->found();
    if (mode == Mode::Scanning && probed < plan.size() && shown.isValid() && shown.elapsed() < 250)
        return;
    shown.start();
    ui->progressBarScan->setMaximum(qMax(1, plan.size()));
    ui->progressBarScan->setValue(probed);
    // English counts one and many apart; the catalogue has its own forms.
    const QString addresses = plan.size() == 1 ? tr("%1 of %n address", nullptr, plan.size())
                                               : tr("%1 of %n addresses", nullptr, plan.size());
    const QString modulesFound = found == 1 ? tr("%n module found", nullptr, found) : tr("%n modules found", nullptr, found);
    ui->progressBarScan->setFormat(tr("%1, %2").arg(addresses.arg(probed), modulesFound));
    // A repaint of its own: a bar whose value did not change keeps its old text.
    ui->progressBarScan->update();
    // The status line counts with the bar, drawn at the same moment.
    if (mode == Mode::Scanning)
        showStatus();
}

void BusWindow::showStatus()
{
    QStringList parts;
    const qint32 rate = line->rate();
    parts << (rate ? tr("%1 at %2 baud").arg(line->portName()).arg(rate) : tr("No port linked"));
    switch (mode) {
    case Mode::Scanning: {
        const QVector<bus::Probe> &plan = scanner->plan();
        const int probed = scanner->probed();
        const qint32 at = plan.isEmpty() ? rate : plan[qMin(probed, plan.size() - 1)].baudRate;
        // Most addresses are silent and take their whole wait, each at its own rate.
        const double leftMs = bus::timeLeftUs(plan, probed, ui->spinBoxAnswerMs->value()) / 1000.0;
        parts << tr("Scanning %1 of %2 at %3 baud, about %4 s left")
                     .arg(probed)
                     .arg(plan.size())
                     .arg(at)
                     .arg(qint64(std::ceil(leftMs / 1000)));
        break;
    }
    case Mode::Watching: {
        const int n = modules->watched(rate).count(true);
        // The last whole round's; until one is over, the first one's so far.
        const qint64 ms = watcher->roundMs();
        const QString every = QString::number(ms / 1000.0, 'f', 1);
        parts << (n == 1 ? tr("Watching %n module, a round every %1 s", nullptr, n).arg(every)
                         : tr("Watching %n modules, a round every %1 s", nullptr, n).arg(every));
        break;
    }
    case Mode::Changing:
        parts << tr("Changing the module at address %1 (%2 baud)").arg(changer->change().address).arg(changer->change().baudRate);
        break;
    case Mode::Idle:
        // A save is told for a while where nothing else has news.
        parts << (savedShown.hasExpired() ? tr("Idle") : saved);
        break;
    }
    // A word on what was just done, for a few seconds.
    if (told.isValid() && told.elapsed() < 5000)
        parts << notice;
    if (const trend::CsvFile *record = recordOf ? recordOf() : nullptr; record && record->isOpen()) {
        const QString name = QFileInfo(record->path()).fileName();
        const int rows = int(qMin<qint64>(record->rows(), INT_MAX));
        parts << (rows == 1 ? tr("recording to %1, %n row written", nullptr, rows).arg(name)
                            : tr("recording to %1, %n rows written", nullptr, rows).arg(name));
    }
    ui->labelBusStatus->setText(parts.join(QStringLiteral(" · ")));
}

void BusWindow::watch()
{
    const bool wasWatching = mode == Mode::Watching;
    stop();
    if (wasWatching)
        return;
    if (line->rate() && !modules->watched(line->rate()).contains(true)) {
        showError(tr("No module to watch: tick modules the scan found at the link's rate."));
        return;
    }
    if (!takeLine())
        return;
    mode = Mode::Watching;
    modules->setWatchRate(line->rate());
    ui->pushButtonWatch->setText(tr("Stop &watching"));
    watcher->start(line->rate(), ui->spinBoxAnswerMs->value());
    updateActions();
    showStatus();
}

int BusWindow::selectedRow() const
{
    const QModelIndexList rows = ui->tableModules->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : sorted->mapToSource(rows.first()).row();
}

void BusWindow::updateActions()
{
    // One module at a time, and never under a scan or a watch; what is
    // greyed says why.
    const bool free = mode == Mode::Idle && selectedRow() >= 0;
    const QString why = mode == Mode::Watching ? tr("Stop the watch first")
        : mode == Mode::Scanning               ? tr("Stop the scan first")
        : mode == Mode::Changing               ? tr("A module is being changed")
        : free                                 ? QString()
                                               : tr("Select a module's row first");
    for (QAction *a : {actionModuleAddress, actionModuleBaud})
        a->setEnabled(free), a->setToolTip(why);
    for (QPushButton *b : {ui->pushButtonModuleAddress, ui->pushButtonModuleBaud})
        b->setEnabled(free), b->setToolTip(why);
}

void BusWindow::contextMenu(const QPoint &at)
{
    const QModelIndex index = ui->tableModules->indexAt(at);
    if (!index.isValid())
        return;
    ui->tableModules->selectRow(index.row());
    QMenu menu(this);
    menu.setToolTipsVisible(true);
    menu.addAction(actionModuleAddress);
    menu.addAction(actionModuleBaud);
    menu.addSeparator();
    menu.addAction(actionCopy);
    menu.addAction(actionSaveTable);
    menu.exec(ui->tableModules->viewport()->mapToGlobal(at));
}

void BusWindow::changeModule(bool baudRate)
{
    const int row = selectedRow();
    if (row < 0 || mode != Mode::Idle)
        return;
    // A write to an address two modules share reaches both of them.
    if (baudRate && !line->canChangeRate())
        return showError(line->fixedRateText());
    if (modules->garbled(row)) {
        showError(tr("Two modules share this address: disconnect one of them, then change the other's address."));
        return;
    }
    bus::Changer::Change c;
    c.row = row;
    c.address = c.newAddress = modules->address(row);
    c.baudRate = c.newBaudRate = modules->baudRate(row);
    // A value refused keeps the question open, the reason above it, so
    // that the technician tries another rather than starting over. Two
    // modules at one address and rate would answer at once from then on.
    const auto taken = [this](int address, qint32 rate) {
        return modules->find(quint8(address), rate) >= 0 ? tr("Address %1 is already used on this line.").arg(address) : QString();
    };
    CheckedInput ask(this);
    QStringList rates;
    for (int k = 1; k <= 6; ++k)
        rates << QString::number(rtu::baudRateForCode(k));
    if (baudRate) {
        ask.setWindowTitle(tr("Change baud rate"));
        ask.setup(tr("New baud rate of the module at address %1:").arg(c.address));
        ask.setComboBoxItems(rates);
        ask.setTextValue(QString::number(c.baudRate));
        ask.refuse = [&] { return ask.textValue().toInt() == c.baudRate ? QString() : taken(c.address, ask.textValue().toInt()); };
    } else {
        ask.setWindowTitle(tr("Change address"));
        ask.setup(tr("New address of the module at address %1 (%2 baud):").arg(c.address).arg(c.baudRate));
        ask.setIntRange(1, 247);
        ask.setIntValue(c.address);
        ask.refuse = [&] { return ask.intValue() == c.address ? QString() : taken(ask.intValue(), c.baudRate); };
    }
    if (ask.exec() != QDialog::Accepted)
        return;
    const int code = baudRate ? int(rates.indexOf(ask.textValue())) + 1 : 0;
    if (baudRate)
        c.newBaudRate = rtu::baudRateForCode(code);
    else
        c.newAddress = quint8(ask.intValue());
    if (!c.newBaudRate || (c.newAddress == c.address && c.newBaudRate == c.baudRate))
        return;
    if (!takeLine())
        return;
    // To the module's own address, never to 0, which every module obeys.
    c.write = rtu::buildRequest(c.address, rtu::WriteRegister, baudRate ? rtu::BaudRateCode : rtu::DeviceAddress,
                                baudRate ? quint16(code) : quint16(c.newAddress));
    mode = Mode::Changing;
    updateActions();
    showStatus();
    changer->start(c, ui->spinBoxAnswerMs->value());
}

void BusWindow::endChange(const QString &failure)
{
    line->release(this);
    mode = Mode::Idle;
    updateActions();
    showStatus();
    if (!failure.isEmpty())
        showError(failure);
}

void BusWindow::saveTable()
{
    const QString path = chooseSaveFile(this, tr("Save the table"), tr("CSV files (*.csv)"), QStringLiteral("csv"), QStringLiteral("bus"));
    if (path.isEmpty())
        return;
    // In the view's order; written whole or not at all, an earlier file
    // left as it was when it cannot be. The byte-order mark lets a
    // spreadsheet on Windows read the statuses' Chinese as UTF-8.
    QByteArray all = "\xEF\xBB\xBF" + bus::tableHeader();
    const int rows = sorted->rowCount();
    for (int r = 0; r < rows; ++r)
        all += modules->csvRow(sorted->mapToSource(sorted->index(r, 0)).row());
    QString error;
    if (!trend::writeWhole(path, all, &error)) {
        showError(tr("The file %1 cannot be written: %2").arg(QDir::toNativeSeparators(path), error));
        return;
    }
    const QString name = QFileInfo(path).fileName();
    saved = rows == 1 ? tr("Saved %n row to %1", nullptr, rows).arg(name) : tr("Saved %n rows to %1", nullptr, rows).arg(name);
    savedShown = QDeadlineTimer(8000);
    showStatus();
}

void BusWindow::copyCells()
{
    // The cells chosen, under their headers, as a spreadsheet pastes them.
    std::map<int, std::map<int, QString>> cells;
    std::map<int, bool> columns;
    for (const QModelIndex &index : ui->tableModules->selectionModel()->selectedIndexes()) {
        cells[index.row()][index.column()] = index.data().toString();
        columns[index.column()] = true;
    }
    if (cells.empty())
        return;
    QStringList lines, header;
    for (const auto &column : columns)
        header << sorted->headerData(column.first, Qt::Horizontal).toString();
    lines << header.join(QLatin1Char('\t'));
    for (const auto &row : cells) {
        QStringList fields;
        for (const auto &column : columns)
            fields << (row.second.count(column.first) ? row.second.at(column.first) : QString());
        lines << fields.join(QLatin1Char('\t'));
    }
    QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void BusWindow::saveForGateway()
{
    const qint32 rate = line->rate();
    if (!rate)
        return showError(tr("The serial port is not open. Press Link first."));
    gateway::Config c;
    std::map<qint32, QVector<quint8>> elsewhere; // ticked, at another rate
    for (int row = 0; row < modules->rowCount(); ++row) {
        QVector<quint8> &to = modules->baudRate(row) == rate ? c.addresses : elsewhere[modules->baudRate(row)];
        // An address that gave garbled answers only holds no module to watch.
        if (modules->ticked(row) && !modules->garbled(row) && !to.contains(modules->address(row)))
            to.append(modules->address(row));
    }
    if (c.addresses.isEmpty())
        return showError(tr("No module to watch: tick modules the scan found at the link's rate."));
    std::sort(c.addresses.begin(), c.addresses.end());
    // Said with the save, rather than dropped unseen.
    QStringList leftOut;
    for (auto &[at, addresses] : elsewhere) {
        if (addresses.isEmpty())
            continue;
        std::sort(addresses.begin(), addresses.end());
        const QString list = gateway::addressList(addresses).replace(QLatin1Char(','), QStringLiteral(", "));
        leftOut << (addresses.size() == 1 ? tr("module %1 answers at %2 baud and is not in the file").arg(list).arg(at)
                                          : tr("modules %1 answer at %2 baud and are not in the file").arg(list).arg(at));
    }
    c.port = line->portName();
    c.baudRate = rate;
    c.answerMs = ui->spinBoxAnswerMs->value();
    // Where this window publishes to, as the Publish dialog remembers it;
    // the password stays here.
    const publish::Settings last = PublishDialog::remembered();
    c.broker = last.broker;
    c.user = last.user;
    c.prefix = last.prefix;
    c.caFile = last.caFile;
    c.discovery = last.discovery;
    // Named as a service instance and its topics take a name: line1, line2...
    const QString path = chooseSaveFile(this, tr("Save for gateway…"), tr("Gateway files (*.conf)"), QStringLiteral("conf"),
                                        QStringLiteral("line"), {}, Naming::Numbered);
    if (path.isEmpty())
        return;
    // Where the service named after the file keeps its readings on disk.
    c.spool = QStringLiteral("/var/lib/hygrovane/%1/outbox.db").arg(QFileInfo(path).completeBaseName());
    QString error;
    if (!trend::writeWhole(path, gateway::configText(c).toUtf8(), &error))
        return showError(tr("The file %1 cannot be written: %2").arg(QDir::toNativeSeparators(path), error));
    const QString name = QFileInfo(path).fileName();
    tell(tr("Saved the gateway's file %1").arg(name));
    if (!leftOut.isEmpty())
        QMessageBox::information(this, tr("Save for gateway"),
                                 tr("Saved the gateway's file %1, but %2: one gateway watches one rate.").arg(name, leftOut.join(tr(", ", "between the rates left out"))));
}
