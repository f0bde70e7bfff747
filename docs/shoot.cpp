// Takes the README's pictures: the real main window after a few polls of an
// in-process simulated module, and the Link dialog, rendered off screen.
//   hygrovane-shoot --out DIR --suffix en [--catalogue-dir BUILD_DIR]
// With --catalogue-dir the program starts there, as the Chinese launcher
// does, so that installCatalogue() finds Qm/Chinese.qm.
#include "bench/benchutil.h"
#include "tests/testsupport.h"

#include "app/catalogue.h"
#include "tools/modsim/modulesim.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QSerialPort>
#include <QTranslator>

#include <cstdio>

namespace {

using bench::waitUntil;
using bench::idleFor;

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "hygrovane-shoot: %s\n", qPrintable(why));
    std::exit(1);
}

void save(QWidget *widget, const QString &path)
{
    if (!widget->grab().save(path))
        die(QStringLiteral("cannot write %1").arg(path));
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption outOpt(QStringLiteral("out"), QStringLiteral("Folder for the PNGs."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption suffixOpt(QStringLiteral("suffix"),
                                       QStringLiteral("Name suffix: main-SUFFIX.png, link-SUFFIX.png."),
                                       QStringLiteral("SUFFIX"));
    const QCommandLineOption catalogueOpt(QStringLiteral("catalogue-dir"),
                                          QStringLiteral("Start in DIR, which holds Qm/Chinese.qm."),
                                          QStringLiteral("DIR"));
    parser.addOptions({outOpt, suffixOpt, catalogueOpt});
    parser.process(app);
    if (!parser.isSet(outOpt) || !parser.isSet(suffixOpt))
        die(QStringLiteral("--out and --suffix are needed"));
    const QString out = QDir(parser.value(outOpt)).absolutePath();
    const QString suffix = parser.value(suffixOpt);

    // As the program does: the catalogue comes from the working directory.
    QTranslator translator;
    if (parser.isSet(catalogueOpt)) {
        if (!QDir::setCurrent(parser.value(catalogueOpt)))
            die(QStringLiteral("no folder %1").arg(parser.value(catalogueOpt)));
        if (!installCatalogue(&translator))
            die(QStringLiteral("no Qm/Chinese.qm in %1").arg(QDir::currentPath()));
    }

    modsim::ModuleSim sim;
    if (!sim.start())
        die(sim.errorString());
    sim.setAddress(1);
    sim.setBaudRate(9600);
    sim.setSerialBytes(QByteArray::fromHex("251206093015"));
    sim.setRecordMode(1);        // recording, started by the setup
    sim.setSampleInterval(60);   // one sample a minute
    sim.setClimate(236, 482);    // 23.6 degC, 48.2 %: dew point and wet bulb follow

    Widget window;
    window.show();
    Ui::Widget *ui = WidgetAccess::ui(&window);

    // Linked the way a technician does it: Link, type the port, 9600, OK.
    MessageBoxCatcher boxes;
    boxes.setDialogHandler(chooseLink(sim.portPath(), QStringLiteral("9600")));
    ui->pushButtonLink->click();
    if (!waitUntil([&] { return ui->lineEditAddress->text() == QLatin1String("1"); }, 5000))
        die(QStringLiteral("the module's address never showed"));
    waitUntil([&] { return !WidgetAccess::timerResponse(&window)->isActive(); }, 2000);

    ui->pushButtonReadSN->click();
    if (!waitUntil([&] { return !ui->lineEditSN->text().isEmpty(); }, 3000))
        die(QStringLiteral("the serial number never showed"));
    waitUntil([&] { return !WidgetAccess::timerResponse(&window)->isActive(); }, 2000);

    ui->pushButtonReadRecord->click();
    if (!waitUntil([&] { return ui->sample_ratecomboBox->currentIndex() == 6; }, 3000))
        die(QStringLiteral("the recording settings never showed"));
    // The record buttons unlock 2 s after a read.
    waitUntil([&] { return ui->pushButtonReadRecord->isEnabled(); }, 3000);

    ui->pushButtonRead->click();
    int polls = 0;
    QObject::connect(&sim, &modsim::ModuleSim::replySent, [&polls] { ++polls; });
    if (!waitUntil([&] { return polls >= 4; }, 8000))
        die(QStringLiteral("the module was polled only %1 times").arg(polls));
    idleFor(300);

    if (boxes.count() != 0)
        die(QStringLiteral("a message box came up: %1").arg(boxes.seen().first().text));
    if (ui->labelTemperature->text().endsWith(QLatin1String("---")))
        die(QStringLiteral("no temperature shown"));

    save(&window, QStringLiteral("%1/main-%2.png").arg(out, suffix));

    // The dialog as it opens on Link, with the simulator's port typed in.
    ui->pushButtonRead->click();
    WidgetAccess::port(&window)->close();
    SerialportSettingDialog dialog(&window);
    DialogAccess::ui(&dialog)->comboBoxName->setEditText(sim.portPath());
    dialog.show();
    idleFor(200);
    save(&dialog, QStringLiteral("%1/link-%2.png").arg(out, suffix));
    dialog.close();
    return 0;
}
