#include "ui/publishdialog.h"
#include "ui_publishdialog.h"

#include "publish/publisher.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QSysInfo>
#include <QTimer>

namespace {

QSettings settings()
{
    return QSettings(QStringLiteral("Hygrovane"), QStringLiteral("hygrovane"));
}

} // namespace

PublishDialog::PublishDialog(publish::Publisher *publisher, QWidget *parent)
    : QDialog(parent, Qt::Window)
    , publisher(publisher)
    , refresh(new QTimer(this))
    , ui(new Ui::PublishDialog)
{
    ui->setupUi(this);
    // The password is never among these: it lives in the field, and in the
    // publisher while it reconnects, and nowhere else.
    const publish::Settings last = remembered();
    ui->lineEditBroker->setText(last.broker.isEmpty() ? QStringLiteral("mqtt://localhost:1883") : last.broker);
    ui->lineEditUser->setText(last.user);
    ui->lineEditTopic->setText(last.prefix.isEmpty() ? publish::defaultPrefix(QSysInfo::machineHostName()) : last.prefix);
    ui->checkBoxDiscovery->setChecked(last.discovery);
    caFile = last.caFile;
    showCaFile();

    // The state line follows the publisher at most four times a second: at
    // 32 readings a second, each acknowledged, it would otherwise be redrawn
    // some 64 times.
    refresh->setSingleShot(true);
    refresh->setInterval(250);
    connect(refresh, &QTimer::timeout, this, &PublishDialog::showState);
    connect(publisher, &publish::Publisher::changed, this, [this] {
        if (!refresh->isActive())
            refresh->start();
    });
    connect(ui->pushButtonConnect, &QPushButton::clicked, this, &PublishDialog::toggle);
    connect(ui->pushButtonCaFile, &QPushButton::clicked, this, &PublishDialog::chooseCaFile);
    showState();
}

publish::Settings PublishDialog::remembered()
{
    const QSettings s = settings();
    publish::Settings last;
    last.broker = s.value(QStringLiteral("publish/broker")).toString();
    last.user = s.value(QStringLiteral("publish/user")).toString();
    last.prefix = s.value(QStringLiteral("publish/topic")).toString();
    last.caFile = s.value(QStringLiteral("publish/caFile")).toString();
    last.discovery = s.value(QStringLiteral("publish/discovery"), false).toBool();
    return last;
}

PublishDialog::~PublishDialog()
{
    delete ui;
}

void PublishDialog::bringUp(publish::Publisher *publisher, QWidget *parent)
{
    auto *dialog = parent->findChild<PublishDialog *>(QString(), Qt::FindDirectChildrenOnly);
    if (!dialog)
        dialog = new PublishDialog(publisher, parent);
    dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void PublishDialog::toggle()
{
    if (publisher->started()) {
        publisher->stop();
    } else {
        publish::Settings p;
        p.broker = ui->lineEditBroker->text().trimmed();
        p.user = ui->lineEditUser->text();
        p.password = ui->lineEditPassword->text();
        p.caFile = caFile;
        p.prefix = ui->lineEditTopic->text().trimmed();
        p.discovery = ui->checkBoxDiscovery->isChecked();
        const QString problem = publish::prefixProblem(p.prefix);
        if (!problem.isEmpty()) {
            QMessageBox::information(this, tr("Error"), tr("Not connected: %1.").arg(problem));
            return;
        }
        QSettings s = settings();
        s.setValue(QStringLiteral("publish/broker"), p.broker);
        s.setValue(QStringLiteral("publish/user"), p.user);
        s.setValue(QStringLiteral("publish/caFile"), p.caFile);
        s.setValue(QStringLiteral("publish/topic"), p.prefix);
        s.setValue(QStringLiteral("publish/discovery"), p.discovery);
        publisher->start(p);
    }
    showState();
}

void PublishDialog::chooseCaFile()
{
    // Cancelling goes back to the system's store.
    caFile = QFileDialog::getOpenFileName(this, tr("CA certificate"), caFile, tr("Certificates (*.pem *.crt);;All files (*)"));
    showCaFile();
}

void PublishDialog::showCaFile()
{
    ui->labelCaFile->setText(caFile.isEmpty() ? tr("the system's certificates") : QFileInfo(caFile).fileName());
    ui->labelCaFile->setToolTip(caFile);
}

void PublishDialog::showState()
{
    refresh->stop();
    QString state;
    switch (publisher->state()) {
    case publish::Publisher::Connected:
        state = tr("Connected");
        break;
    case publish::Publisher::Connecting:
        state = tr("Connecting…");
        break;
    default:
        state = tr("Disconnected: %1").arg(publisher->reason());
    }
    const publish::Outbox &box = publisher->outbox();
    ui->labelPublishState->setText(state + QLatin1Char('\n') + tr("%1 readings waiting, %2 dropped").arg(box.waiting()).arg(box.dropped()));
    ui->pushButtonConnect->setText(publisher->started() ? tr("&Disconnect") : tr("&Connect"));
    for (QWidget *field : {static_cast<QWidget *>(ui->lineEditBroker), static_cast<QWidget *>(ui->lineEditUser),
                           static_cast<QWidget *>(ui->lineEditPassword), static_cast<QWidget *>(ui->lineEditTopic),
                           static_cast<QWidget *>(ui->checkBoxDiscovery), static_cast<QWidget *>(ui->pushButtonCaFile)})
        field->setEnabled(!publisher->started());
}
