// The controller's construction, its record-group enabling rules, its
// connections and the catalogue it is shown with.
#include "testsupport.h"

#include "app/buildstamp.h"
#include "app/catalogue.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QDir>
#include <QMetaMethod>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

class TestWidget : public QObject
{
    Q_OBJECT

    Widget *w = nullptr;
    Ui::Widget *ui = nullptr;

private slots:
    void init()
    {
        w = new Widget;
        ui = WidgetAccess::ui(w);
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    void titleAndSize()
    {
        const QString stamp = BuildDate.toString(QStringLiteral("yyyy.MM.dd")) + QLatin1Char('.')
            + BuildTime.toString(QStringLiteral("hhmm"));
        QCOMPARE(WidgetAccess::versionText(w), QStringLiteral(" V") + stamp);
        QCOMPARE(w->windowTitle(), QStringLiteral("Hygrovane   V") + stamp);
        QVERIFY(QRegularExpression(QStringLiteral("^Hygrovane {3}V\\d{4}\\.\\d\\d\\.\\d\\d\\.\\d{4}$"))
                    .match(w->windowTitle()).hasMatch());
        QCOMPARE(w->size(), QSize(874, 628));
    }

    void startState()
    {
        QCOMPARE(ui->comboBoxBaudRate->currentText(), QStringLiteral("9600"));
        QCOMPARE(ui->dateTimeEditstarttime->displayFormat(), QStringLiteral("yyyy/MM/dd hh:mm:ss"));
        QVERIFY(ui->radioButtonRecord->isChecked());
        QVERIFY(!ui->radioButtonRealmonitoring->isChecked());
        QVERIFY(!ui->dateTimeEditstarttime->isEnabled());
        QVERIFY(ui->recmodecomboBox->isEnabled());
        QVERIFY(ui->sample_ratecomboBox->isEnabled());

        // Now plus five minutes, whole seconds.
        const QDateTime shown = ui->dateTimeEditstarttime->dateTime();
        const qint64 ahead = QDateTime::currentDateTime().secsTo(shown);
        QVERIFY2(ahead >= 298 && ahead <= 300, qPrintable(QString::number(ahead)));
        QCOMPARE(shown.time().msec(), 0);

        QSerialPort *port = WidgetAccess::port(w);
        QCOMPARE(port->parent(), w);
        QVERIFY(!port->isOpen());

        const QList<QTimer *> timers{WidgetAccess::timerClear(w), WidgetAccess::timerResponse(w),
                                     WidgetAccess::timerHumiture(w), WidgetAccess::timerAutoUart(w),
                                     WidgetAccess::timerDelay(w),
                                     WidgetAccess::timerSettingResponse(w)};
        for (QTimer *t : timers) {
            QCOMPARE(t->parent(), w);
            QVERIFY(!t->isActive());
            QVERIFY(!t->isSingleShot());
        }
        QCOMPARE(w->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).size(), 6);

        QButtonGroup *group = WidgetAccess::recModeGroup(w);
        QCOMPARE(group->parent(), w);
        QVERIFY(group->exclusive());
        QCOMPARE(group->id(ui->radioButtonRecord), 0);
        QCOMPARE(group->id(ui->radioButtonRealmonitoring), 1);
    }

    void slotOrder()
    {
        const QStringList expected{
            "PushButtonLinkSlot()", "PushButtonCloseSlot()", "my_readuart()",
            "PushButtonReadSlot()", "PushButtonAddressSlot()", "PushButtonBaudRateSlot()",
            "TimerClearSlot()", "PushButtonAddressReadSlot()", "TimerResponseSlot()",
            "ReadHumitureOrder()", "PushButtonReadSNSlot()", "PushButtonAUTOSetupSlot()",
            "PushButtonMANUSetupSlot()", "PushButtonReadRecordSlot()",
            "PushButtonSetupRecordSlot()", "RecModeSelect()", "ModeSelect(int)",
            "AUTOUartInit()", "TimerDelaySlot()", "timerSettingResponseSlot()"};
        const QMetaObject &mo = Widget::staticMetaObject;
        QStringList actual;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            const QMetaMethod m = mo.method(i);
            QCOMPARE(m.methodType(), QMetaMethod::Slot);
            QCOMPARE(m.access(), QMetaMethod::Private);
            actual << QString::fromLatin1(m.methodSignature());
        }
        QCOMPARE(actual, expected);
    }

    // Each row is connected exactly once: the first disconnect finds the
    // connection, the second finds none.
    void connections_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QByteArray>("signal");
        QTest::addColumn<QByteArray>("slot");
        auto row = [](const char *sender, const char *signal, const char *slot) {
            QTest::newRow(slot) << sender << QByteArray(signal) << QByteArray(slot);
        };
        row("pushButtonLink", SIGNAL(clicked()), SLOT(PushButtonLinkSlot()));
        row("pushButtonClose", SIGNAL(clicked()), SLOT(PushButtonCloseSlot()));
        row("pushButtonRead", SIGNAL(clicked()), SLOT(PushButtonReadSlot()));
        row("pushButtonAddress", SIGNAL(clicked()), SLOT(PushButtonAddressSlot()));
        row("pushButtonBaudRate", SIGNAL(clicked()), SLOT(PushButtonBaudRateSlot()));
        row("pushButtonAddressRead", SIGNAL(clicked()), SLOT(PushButtonAddressReadSlot()));
        row("pushButtonReadSN", SIGNAL(clicked()), SLOT(PushButtonReadSNSlot()));
        row("pushButtonAUTO", SIGNAL(clicked()), SLOT(PushButtonAUTOSetupSlot()));
        row("pushButtonMANU", SIGNAL(clicked()), SLOT(PushButtonMANUSetupSlot()));
        row("pushButtonReadRecord", SIGNAL(clicked()), SLOT(PushButtonReadRecordSlot()));
        row("pushButtonSetup", SIGNAL(clicked()), SLOT(PushButtonSetupRecordSlot()));
        QTest::newRow("RecModeSelect() from Record")
            << "radioButtonRecord" << QByteArray(SIGNAL(clicked())) << QByteArray(SLOT(RecModeSelect()));
        QTest::newRow("RecModeSelect() from Realmonitoring")
            << "radioButtonRealmonitoring" << QByteArray(SIGNAL(clicked()))
            << QByteArray(SLOT(RecModeSelect()));
        row("recmodecomboBox", SIGNAL(currentIndexChanged(int)), SLOT(ModeSelect(int)));
        row("timerClear", SIGNAL(timeout()), SLOT(TimerClearSlot()));
        row("timerResponse", SIGNAL(timeout()), SLOT(TimerResponseSlot()));
        row("timerHumiture", SIGNAL(timeout()), SLOT(ReadHumitureOrder()));
        row("timerAutoUart", SIGNAL(timeout()), SLOT(AUTOUartInit()));
        row("timerDelay", SIGNAL(timeout()), SLOT(TimerDelaySlot()));
        row("timerSettingResponse", SIGNAL(timeout()), SLOT(timerSettingResponseSlot()));
    }
    void connections()
    {
        QFETCH(QString, sender);
        QFETCH(QByteArray, signal);
        QFETCH(QByteArray, slot);
        const QMap<QString, QTimer *> timers{
            {"timerClear", WidgetAccess::timerClear(w)},
            {"timerResponse", WidgetAccess::timerResponse(w)},
            {"timerHumiture", WidgetAccess::timerHumiture(w)},
            {"timerAutoUart", WidgetAccess::timerAutoUart(w)},
            {"timerDelay", WidgetAccess::timerDelay(w)},
            {"timerSettingResponse", WidgetAccess::timerSettingResponse(w)}};
        QObject *from = timers.value(sender);
        if (!from)
            from = w->findChild<QObject *>(sender);
        QVERIFY(from);
        QVERIFY(QObject::disconnect(from, signal.constData(), w, slot.constData()));
        QVERIFY(!QObject::disconnect(from, signal.constData(), w, slot.constData()));
    }

    void noOtherSignalIsConnected()
    {
        // Radio toggles, the button group and the other inputs are read when
        // a slot runs; none of them drives the controller on its own.
        QVERIFY(!QObject::disconnect(ui->radioButtonRecord, SIGNAL(toggled(bool)), w, nullptr));
        QVERIFY(!QObject::disconnect(WidgetAccess::recModeGroup(w), nullptr, w, nullptr));
        QVERIFY(!QObject::disconnect(ui->sample_ratecomboBox, nullptr, w, nullptr));
        QVERIFY(!QObject::disconnect(ui->comboBoxNum, nullptr, w, nullptr));
        QVERIFY(!QObject::disconnect(ui->lineEditAddress, nullptr, w, nullptr));
        QVERIFY(!QObject::disconnect(ui->dateTimeEditstarttime, nullptr, w, nullptr));
    }

    // Work mode x start mode, reached by clicks as the technician would.
    void enabling_data()
    {
        QTest::addColumn<bool>("recording");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<bool>("modeEnabled");
        QTest::addColumn<bool>("rateEnabled");
        QTest::addColumn<bool>("editorEnabled");
        QTest::newRow("Recording, After Setup") << true << 0 << true << true << false;
        QTest::newRow("Recording, Timing Start") << true << 1 << true << true << true;
        QTest::newRow("Monitoring, After Setup") << false << 0 << false << false << false;
        QTest::newRow("Monitoring, Timing Start") << false << 1 << false << false << false;
    }
    void enabling()
    {
        QFETCH(bool, recording);
        QFETCH(int, startMode);
        QFETCH(bool, modeEnabled);
        QFETCH(bool, rateEnabled);
        QFETCH(bool, editorEnabled);
        ui->recmodecomboBox->setCurrentIndex(startMode);
        QTest::mouseClick(recording ? ui->radioButtonRecord : ui->radioButtonRealmonitoring,
                          Qt::LeftButton);
        QCOMPARE(ui->radioButtonRecord->isChecked(), recording);
        QCOMPARE(ui->recmodecomboBox->isEnabled(), modeEnabled);
        QCOMPARE(ui->sample_ratecomboBox->isEnabled(), rateEnabled);
        QCOMPARE(ui->dateTimeEditstarttime->isEnabled(), editorEnabled);
    }

    void backToRecordingRestoresTheEditorOnlyForTimingStart_data()
    {
        QTest::addColumn<int>("startMode");
        QTest::addColumn<bool>("editorEnabled");
        QTest::newRow("After Setup") << 0 << false;
        QTest::newRow("Timing Start") << 1 << true;
    }
    void backToRecordingRestoresTheEditorOnlyForTimingStart()
    {
        QFETCH(int, startMode);
        QFETCH(bool, editorEnabled);
        ui->recmodecomboBox->setCurrentIndex(startMode);
        QTest::mouseClick(ui->radioButtonRealmonitoring, Qt::LeftButton);
        QVERIFY(!ui->dateTimeEditstarttime->isEnabled());
        QTest::mouseClick(ui->radioButtonRecord, Qt::LeftButton);
        QVERIFY(ui->recmodecomboBox->isEnabled());
        QVERIFY(ui->sample_ratecomboBox->isEnabled());
        QCOMPARE(ui->dateTimeEditstarttime->isEnabled(), editorEnabled);
    }

    // The start mode alone decides the editor, whatever the work mode.
    void modeSelectIgnoresTheWorkMode()
    {
        QTest::mouseClick(ui->radioButtonRealmonitoring, Qt::LeftButton);
        ui->recmodecomboBox->setCurrentIndex(1);
        QVERIFY(ui->dateTimeEditstarttime->isEnabled());
        ui->recmodecomboBox->setCurrentIndex(0);
        QVERIFY(!ui->dateTimeEditstarttime->isEnabled());
    }

    // The connection is on clicked(), so a click on the checked button still
    // runs the enabling rules (here it re-enables what was disabled by hand).
    void clickOnCheckedRadioStillRuns()
    {
        QVERIFY(ui->radioButtonRecord->isChecked());
        ui->recmodecomboBox->setEnabled(false);
        ui->sample_ratecomboBox->setEnabled(false);
        QTest::mouseClick(ui->radioButtonRecord, Qt::LeftButton);
        QVERIFY(ui->radioButtonRecord->isChecked());
        QVERIFY(ui->recmodecomboBox->isEnabled());
        QVERIFY(ui->sample_ratecomboBox->isEnabled());
    }

    void catalogue_data()
    {
        QTest::addColumn<bool>("withCatalogue");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("titlePrefix");
        QTest::newRow("build folder") << true << QString::fromUtf8("连接") << "Hygrovane   V";
        QTest::newRow("elsewhere") << false << "Link" << "Hygrovane   V";
    }
    void catalogue()
    {
        QFETCH(bool, withCatalogue);
        QFETCH(QString, link);
        QFETCH(QString, titlePrefix);
        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(withCatalogue ? QStringLiteral(HYGROVANE_BUILD_DIR)
                                               : elsewhere.path()));
        QTranslator translator;
        const bool loaded = installCatalogue(&translator);
        QDir::setCurrent(saved);
        QCOMPARE(loaded, withCatalogue);

        Widget translated;
        QCoreApplication::removeTranslator(&translator);
        const Ui::Widget *form = WidgetAccess::ui(&translated);
        QCOMPARE(form->pushButtonLink->text(), link);
        QVERIFY(translated.windowTitle().startsWith(titlePrefix));
        // Units are not words: they stay as they are.
        QCOMPARE(form->comboBoxBaudRate->itemText(5), QStringLiteral("115200"));
        if (withCatalogue) {
            QCOMPARE(form->groupBox->title(), QString::fromUtf8("实时数据"));
            QCOMPARE(translator.translate("Widget", "Communication error!"),
                     QString::fromUtf8("通讯错误！"));
            QVERIFY(!translator.translate("SerialportSettingDialog", "Serial port").isEmpty());
        }
    }

    // Last: once the application was told to quit, Qt lets no event loop
    // run again in this process.
    void closeQuits()
    {
        QEventLoop loop;
        QTimer::singleShot(0, ui->pushButtonClose, [this] {
            QTest::mouseClick(ui->pushButtonClose, Qt::LeftButton);
        });
        QTimer guard;
        guard.setSingleShot(true);
        bool timedOut = false;
        connect(&guard, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.exit(1);
        });
        guard.start(5000);
        QCOMPARE(loop.exec(), 0);
        QVERIFY(!timedOut);
    }
};

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
