#include "ui/widget.h"
#include "ui_widget.h"

#include "app/buildstamp.h"
#include "app/clock.h"
#include "app/uartdata.h"
#include "publish/publisher.h"
#include "ui/buswindow.h"
#include "ui/commissionwindow.h"
#include "ui/trendwindow.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

Widget::Widget(QWidget *parent)
    : QWidget(parent)
    , mqttPublisher(new publish::Publisher(this))
    , ui(new Ui::Widget)
{
    ui->setupUi(this);

    versionText = QStringLiteral(" V");
    // A version is ASCII digits whatever the desktop's language.
    versionText += QLocale::c().toString(BuildDate, QStringLiteral("yyyy.MM.dd"));
    versionText += QStringLiteral(".");
    versionText += QLocale::c().toString(BuildTime, QStringLiteral("hhmm"));
    setWindowTitle(tr("Hygrovane") + QStringLiteral("  ") + versionText);

    line = new Line(this);
    line->setHost(this);

    timerClear = new QTimer(this);
    timerResponse = new QTimer(this);
    timerHumiture = new QTimer(this);
    timerAutoUart = new QTimer(this);
    timerDelay = new QTimer(this);
    timerSettingResponse = new QTimer(this);
    // The bytes collect in the record's buffer, and the window's timer drops them.
    line->shareBuffer(&UartData.RxBuffer);
    line->useClearTimer(timerClear);
    // Not a slot of the table: a pulled adapter is handled outside the
    // request-and-reply machinery.
    connect(line, &Line::failed, this, &Widget::portFailed);
    connect(line, &Line::sent, this, [this](const QByteArray &frame) { LogFrame(QString::fromLatin1(frame.toHex()), false); });
    connect(line, &Line::received, this, [this](const QByteArray &frame) { LogFrame(QString::fromLatin1(frame.toHex()), true); });
    // Another window moved a module: this one follows it, once that window
    // is done with the line.
    connect(line, &Line::moved, this, &Widget::followModule, Qt::QueuedConnection);
    // A window took the line: continuous reading gives way.
    connect(line, &Line::claimStarted, this, [this] {
        timerHumiture->stop();
        ui->pushButtonRead->setText(tr("Read"));
    });

    ui->comboBoxBaudRate->setCurrentIndex(3);
    ui->dateTimeEditstarttime->setDisplayFormat(QStringLiteral("yyyy/MM/dd hh:mm:ss"));

    // Signatures rather than member pointers: every row is one connection that
    // can be named (and checked) by its signal and slot texts.
    connect(ui->pushButtonLink, SIGNAL(clicked()), this, SLOT(PushButtonLinkSlot()));
    connect(ui->pushButtonClose, SIGNAL(clicked()), this, SLOT(PushButtonCloseSlot()));
    connect(ui->pushButtonRead, SIGNAL(clicked()), this, SLOT(PushButtonReadSlot()));
    connect(ui->pushButtonAddress, SIGNAL(clicked()), this, SLOT(PushButtonAddressSlot()));
    connect(ui->pushButtonBaudRate, SIGNAL(clicked()), this, SLOT(PushButtonBaudRateSlot()));
    connect(ui->pushButtonAddressRead, SIGNAL(clicked()), this, SLOT(PushButtonAddressReadSlot()));
    connect(ui->pushButtonReadSN, SIGNAL(clicked()), this, SLOT(PushButtonReadSNSlot()));
    connect(ui->pushButtonAUTO, SIGNAL(clicked()), this, SLOT(PushButtonAUTOSetupSlot()));
    connect(ui->pushButtonMANU, SIGNAL(clicked()), this, SLOT(PushButtonMANUSetupSlot()));
    connect(ui->pushButtonReadRecord, SIGNAL(clicked()), this, SLOT(PushButtonReadRecordSlot()));
    connect(ui->pushButtonSetup, SIGNAL(clicked()), this, SLOT(PushButtonSetupRecordSlot()));
    connect(ui->radioButtonRecord, SIGNAL(clicked()), this, SLOT(RecModeSelect()));
    connect(ui->radioButtonRealmonitoring, SIGNAL(clicked()), this, SLOT(RecModeSelect()));
    connect(ui->recmodecomboBox, SIGNAL(currentIndexChanged(int)), this, SLOT(ModeSelect(int)));
    connect(timerClear, SIGNAL(timeout()), this, SLOT(TimerClearSlot()));
    connect(timerResponse, SIGNAL(timeout()), this, SLOT(TimerResponseSlot()));
    connect(timerHumiture, SIGNAL(timeout()), this, SLOT(ReadHumitureOrder()));
    connect(timerAutoUart, SIGNAL(timeout()), this, SLOT(AUTOUartInit()));
    connect(timerDelay, SIGNAL(timeout()), this, SLOT(TimerDelaySlot()));
    connect(timerSettingResponse, SIGNAL(timeout()), this, SLOT(timerSettingResponseSlot()));
    connect(ui->pushButtonTrend, SIGNAL(clicked()), this, SLOT(PushButtonTrendSlot()));
    connect(ui->actionSaveLog, SIGNAL(triggered()), this, SLOT(saveLogAs()));
    // Windows of their own, beside this one: opened once, raised after.
    connect(ui->pushButtonBus, &QPushButton::clicked, this, [this] {
        if (!busWindow) {
            busWindow = new BusWindow(line, mqttPublisher, this);
            busWindow->recordOf = [this] { return record(); };
            connect(busWindow, &BusWindow::reading, this, &Widget::keepReading);
        }
        bringUp(busWindow);
    });
    connect(ui->pushButtonCommission, &QPushButton::clicked, this, [this] {
        if (!commissionWindow)
            commissionWindow = new CommissionWindow(line, sampleIntervals(), this);
        bringUp(commissionWindow);
    });

    // The pane is a view, not a store: the newest 100,000 lines, some 14 h of
    // polling once a second, the oldest dropped one by one as new ones come.
    // A plain-text pane lays out only what changed; a rich-text one would lay
    // all 100,000 lines out again at every line dropped (some 100 ms).
    ui->textBrowser->setMaximumBlockCount(LogLines);
    ui->textBrowser->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->textBrowser, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu *menu = ui->textBrowser->createStandardContextMenu(at);
        menu->addSeparator();
        menu->addAction(ui->actionSaveLog);
        menu->exec(ui->textBrowser->viewport()->mapToGlobal(at));
        delete menu;
    });

    recModeGroup = new QButtonGroup(this);
    recModeGroup->addButton(ui->radioButtonRecord, 0);
    recModeGroup->addButton(ui->radioButtonRealmonitoring, 1);
    ui->radioButtonRecord->setChecked(true);

    ui->dateTimeEditstarttime->setEnabled(false);
    const qint64 inFiveMinutes = currentDateTime().toSecsSinceEpoch() + 300;
    ui->dateTimeEditstarttime->setDateTime(QDateTime::fromSecsSinceEpoch(inFiveMinutes));

    RecModeSelect();
}

Widget::~Widget()
{
    // These windows give the line back as they go: while the line is still here.
    delete busWindow;
    delete commissionWindow;
    delete ui;
}

void Widget::bringUp(QWidget *window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void Widget::PushButtonTrendSlot()
{
    if (!trendWindow)
        trendWindow = new TrendWindow(histories, this);
    bringUp(trendWindow);
}

const trend::CsvFile *Widget::record() const
{
    return trendWindow ? &trendWindow->recordFile() : nullptr;
}

QStringList Widget::sampleIntervals() const
{
    QStringList names;
    for (int i = 0; i < ui->sample_ratecomboBox->count(); ++i)
        names << ui->sample_ratecomboBox->itemText(i);
    return names;
}

void Widget::PushButtonCloseSlot()
{
    if (commissionWindow && !commissionWindow->mayClose())
        return;
    QCoreApplication::quit();
}

void Widget::closeEvent(QCloseEvent *event)
{
    // A run cut off here would leave a module half set up and no row saying so.
    if (commissionWindow && !commissionWindow->mayClose())
        return event->ignore();
    QWidget::closeEvent(event);
}

void Widget::RecModeSelect()
{
    if (ui->radioButtonRecord->isChecked()) {
        ui->recmodecomboBox->setEnabled(true);
        ui->sample_ratecomboBox->setEnabled(true);
        // "After Setup" keeps whatever state the editor already has.
        if (ui->recmodecomboBox->currentIndex() == 1)
            ui->dateTimeEditstarttime->setEnabled(true);
    } else {
        ui->recmodecomboBox->setEnabled(false);
        ui->sample_ratecomboBox->setEnabled(false);
        ui->dateTimeEditstarttime->setEnabled(false);
    }
}

void Widget::ModeSelect(int index)
{
    ui->dateTimeEditstarttime->setEnabled(index == 1);
}

void Widget::showError(const QString &text)
{
    QMessageBox::information(this, tr("Error"), text);
}

QString Widget::addressError(const QString &text) const
{
    if (text.isEmpty())
        return tr("The address is empty!");
    const int address = text.toInt(nullptr, 10); // not a number reads as 0
    if (address < 1 || address > 247)
        return tr("The address is between 1 and 247!");
    return QString();
}
