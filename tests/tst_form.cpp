// The main window's form as built by setupUi alone, before the controller
// changes its start state.
#include "testsupport.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QTextBrowser>
#include <QtTest>

namespace {

const char *const kNote =
    "<html><head/><body><p><span style=\" font-weight:600; color:#ff0000;\">Note: You need to "
    "set the baud rate to 115200 when downloading historical data, and then use professional "
    "software to download.</span></p></body></html>";

QString describe(QLayoutItem *item)
{
    if (item->widget())
        return item->widget()->objectName();
    if (item->layout())
        return item->layout()->objectName();
    return QStringLiteral("spacer");
}

// "name@row,col" (or "@row,col,rowspan,colspan" when it spans) for a grid,
// "name" in order for a box layout.
QStringList describeLayout(QLayout *layout)
{
    QStringList out;
    auto *grid = qobject_cast<QGridLayout *>(layout);
    for (int i = 0; i < layout->count(); ++i) {
        QString text = describe(layout->itemAt(i));
        if (grid) {
            int r, c, rs, cs;
            grid->getItemPosition(i, &r, &c, &rs, &cs);
            text += QStringLiteral("@%1,%2").arg(r).arg(c);
            if (rs != 1 || cs != 1)
                text += QStringLiteral(",%1,%2").arg(rs).arg(cs);
        }
        out << text;
    }
    return out;
}

QString textOf(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    return QString();
}

QStringList itemsOf(QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

} // namespace

class TestForm : public QObject
{
    Q_OBJECT

    QWidget *window = nullptr;
    Ui::Widget *form = nullptr;

private slots:
    void init()
    {
        window = new QWidget;
        form = new Ui::Widget;
        form->setupUi(window);
    }
    void cleanup()
    {
        delete form;
        delete window;
    }

    void windowProperties()
    {
        QCOMPARE(window->objectName(), QStringLiteral("Widget"));
        QCOMPARE(window->size(), QSize(874, 628));
        QCOMPARE(window->font().family(), QStringLiteral("Arial"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Widget"));
        QCOMPARE(window->layout()->objectName(), QStringLiteral("gridLayout"));
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QString>("text");
        auto row = [](const char *n, const char *c, const char *p, const QString &t) {
            QTest::newRow(n) << n << c << p << t;
        };
        row("groupBox_2", "QGroupBox", "Widget", "Device");
        row("label_3", "QLabel", "groupBox_2", "Serial number:");
        row("lineEditSN", "QLineEdit", "groupBox_2", "");
        row("pushButtonAUTO", "QPushButton", "groupBox_2", "AUTO Setup");
        row("pushButtonMANU", "QPushButton", "groupBox_2", "MANU Setup");
        row("pushButtonReadSN", "QPushButton", "groupBox_2", "Read");
        row("label_4", "QLabel", "groupBox_2", "Address:");
        row("lineEditAddress", "QLineEdit", "groupBox_2", "");
        row("pushButtonAddressRead", "QPushButton", "groupBox_2", "Read");
        row("pushButtonAddress", "QPushButton", "groupBox_2", "Setting");
        row("label_5", "QLabel", "groupBox_2", "Baud rate:");
        row("comboBoxBaudRate", "QComboBox", "groupBox_2", "");
        row("pushButtonBaudRate", "QPushButton", "groupBox_2", "Setting");
        row("groupBox", "QGroupBox", "Widget", "Real time data");
        row("labelTemperature", "QLabel", "groupBox", "Temperature:");
        row("labelHumidity", "QLabel", "groupBox", "Humidity:");
        row("labelDewTemp", "QLabel", "groupBox", "DewTemp:");
        row("labelWetBulbTemp", "QLabel", "groupBox", "WetBulbTemp:");
        row("comboBoxNum", "QComboBox", "groupBox", "");
        row("pushButtonRead", "QPushButton", "groupBox", "Read");
        row("groupBox_4", "QGroupBox", "Widget", "Record ");
        row("label_16", "QLabel", "groupBox_4", "Work Mode:");
        row("radioButtonRecord", "QRadioButton", "groupBox_4", "Recording");
        row("radioButtonRealmonitoring", "QRadioButton", "groupBox_4", "Only Realtime Monitoring");
        row("label_6", "QLabel", "groupBox_4", "Start Mode:");
        row("recmodecomboBox", "QComboBox", "groupBox_4", "");
        row("label_8", "QLabel", "groupBox_4", "Time For Start:");
        row("dateTimeEditstarttime", "QDateTimeEdit", "groupBox_4", "");
        row("label_7", "QLabel", "groupBox_4", "Sampling Rate:");
        row("sample_ratecomboBox", "QComboBox", "groupBox_4", "");
        row("label", "QLabel", "groupBox_4", QString::fromLatin1(kNote));
        row("pushButtonSetup", "QPushButton", "groupBox_4", "Setup");
        row("pushButtonReadRecord", "QPushButton", "groupBox_4", "Read");
        row("groupBox_3", "QGroupBox", "Widget", "Message");
        row("textBrowser", "QTextBrowser", "groupBox_3", "");
        row("pushButtonLink", "QPushButton", "Widget", "Link");
        row("pushButtonClose", "QPushButton", "Widget", "Close");
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, parentName);
        QFETCH(QString, text);
        auto *w = window->findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), className);
        QCOMPARE(w->parentWidget()->objectName(), parentName);
        QCOMPARE(textOf(w), text);
        // Nothing is disabled, checked or read-only until the controller says so.
        QVERIFY(w->isEnabled());
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            QVERIFY(!b->isChecked());
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            QCOMPARE(e->alignment(), Qt::AlignCenter);
            QVERIFY(!e->isReadOnly());
        }
    }

    void noUnlistedControls()
    {
        // Every widget child is one of the 37 rows above; a stray control
        // would shift the focus order and the tree.
        int named = 0;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (w->parentWidget() == window || qobject_cast<QGroupBox *>(w->parentWidget()))
                ++named;
        }
        QCOMPARE(named, 37);
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("gridLayout") << "gridLayout" << QStringList{
            "groupBox_2@0,0", "groupBox@1,0", "groupBox_4@2,0", "groupBox_3@3,0",
            "horizontalLayout_5@4,0"};
        QTest::newRow("gridLayout_5") << "gridLayout_5" << QStringList{
            "horizontalLayout_9@0,0,1,2", "horizontalLayout_4@1,0", "horizontalLayout_3@1,1"};
        QTest::newRow("horizontalLayout_9") << "horizontalLayout_9" << QStringList{
            "label_3", "lineEditSN", "pushButtonAUTO", "pushButtonMANU", "pushButtonReadSN",
            "spacer"};
        QTest::newRow("horizontalLayout_4") << "horizontalLayout_4" << QStringList{
            "label_4", "lineEditAddress", "pushButtonAddressRead", "pushButtonAddress", "spacer"};
        QTest::newRow("horizontalLayout_3") << "horizontalLayout_3" << QStringList{
            "label_5", "comboBoxBaudRate", "pushButtonBaudRate", "spacer"};
        QTest::newRow("gridLayout_2") << "gridLayout_2" << QStringList{
            "horizontalLayout_2@0,0", "horizontalLayout@1,0"};
        QTest::newRow("horizontalLayout_2") << "horizontalLayout_2" << QStringList{
            "labelTemperature", "spacer", "labelHumidity", "spacer", "labelDewTemp", "spacer",
            "labelWetBulbTemp", "spacer"};
        QTest::newRow("horizontalLayout") << "horizontalLayout" << QStringList{
            "spacer", "comboBoxNum", "spacer", "pushButtonRead", "spacer", "spacer"};
        QTest::newRow("gridLayout_4") << "gridLayout_4" << QStringList{
            "horizontalLayout_6@0,0", "horizontalLayout_7@1,0", "label@2,0",
            "horizontalLayout_8@3,0"};
        QTest::newRow("horizontalLayout_6") << "horizontalLayout_6" << QStringList{
            "label_16", "radioButtonRecord", "radioButtonRealmonitoring", "spacer"};
        QTest::newRow("horizontalLayout_7") << "horizontalLayout_7" << QStringList{
            "label_6", "recmodecomboBox", "spacer", "label_8", "dateTimeEditstarttime", "spacer",
            "label_7", "sample_ratecomboBox", "spacer"};
        QTest::newRow("horizontalLayout_8") << "horizontalLayout_8" << QStringList{
            "spacer", "pushButtonSetup", "pushButtonReadRecord", "spacer"};
        QTest::newRow("gridLayout_3") << "gridLayout_3" << QStringList{"textBrowser@0,0"};
        QTest::newRow("horizontalLayout_5") << "horizontalLayout_5" << QStringList{
            "spacer", "pushButtonLink", "pushButtonClose", "spacer"};
    }
    void layouts()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        auto *layout = window->findChild<QLayout *>(name);
        QVERIFY2(layout, qPrintable(name));
        QCOMPARE(describeLayout(layout), items);
        QCOMPARE(layout->spacing(), 6);
        if (qobject_cast<QGridLayout *>(layout))
            QCOMPARE(layout->contentsMargins(), QMargins(11, 11, 11, 11));
        else
            QVERIFY(qobject_cast<QHBoxLayout *>(layout));
        for (int i = 0; i < layout->count(); ++i) {
            QSpacerItem *spacer = layout->itemAt(i)->spacerItem();
            if (!spacer)
                continue;
            QCOMPARE(spacer->sizeHint(), QSize(40, 20));
            QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
        }
    }

    void comboItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("comboBoxBaudRate") << "comboBoxBaudRate" << QStringList{
            "1200", "2400", "4800", "9600", "19200", "115200"};
        QTest::newRow("comboBoxNum") << "comboBoxNum" << QStringList{
            "ALL", "Temperature", "Humidity", "DewTemp", "WetBulbTemp", "Status"};
        QTest::newRow("recmodecomboBox") << "recmodecomboBox" << QStringList{
            "After Setup", "Timing Start"};
        QTest::newRow("sample_ratecomboBox") << "sample_ratecomboBox" << QStringList{
            "1S", "2S", "5S", "10S", "20S", "30S", "1min", "2min", "5min", "10min", "30min",
            "1h", "2h", "6h", "12h", "24h"};
    }
    void comboItems()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, items);
        auto *box = window->findChild<QComboBox *>(name);
        QVERIFY(box);
        QCOMPARE(itemsOf(box), items);
        QCOMPARE(box->currentIndex(), 0);
    }

    // The texts are looked up in the "Widget" context, so a catalogue
    // that knows that context changes them.
    void textsGoThroughTheWidgetContext()
    {
        class Upper : public QTranslator
        {
        public:
            QString translate(const char *context, const char *source, const char *,
                              int) const override
            {
                if (qstrcmp(context, "Widget") != 0)
                    return QString();
                return QString::fromUtf8(source).toUpper();
            }
            bool isEmpty() const override { return false; }
        } upper;
        QCoreApplication::installTranslator(&upper);
        form->retranslateUi(window);
        QCoreApplication::removeTranslator(&upper);
        QCOMPARE(form->pushButtonLink->text(), QStringLiteral("LINK"));
        QCOMPARE(form->groupBox_4->title(), QStringLiteral("RECORD "));
        QCOMPARE(form->sample_ratecomboBox->itemText(15), QStringLiteral("24H"));
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
