// Takes the README's pictures: the real main window after a few polls of an
// in-process simulated module, and the Link dialog, rendered off screen.
//   hygrovane-shoot OUT_DIR SUFFIX [CATALOGUE_DIR]
// writes OUT_DIR/main-SUFFIX.png and OUT_DIR/link-SUFFIX.png. With a
// catalogue folder the program starts there, as the Chinese launcher does, so
// that installCatalogue() finds Qm/Chinese.qm.
#include "tests/fixture.h"

#include "app/catalogue.h"
#include "ui/serialportsettingdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QSerialPort>
#include <QTest>
#include <QTranslator>

#include <cstdio>

namespace {

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
    const QStringList args = app.arguments();
    if (args.size() < 3)
        die(QStringLiteral("usage: hygrovane-shoot OUT_DIR SUFFIX [CATALOGUE_DIR]"));
    const QString out = QDir(args[1]).absolutePath();
    QTranslator translator;
    if (args.size() > 3 && !(QDir::setCurrent(args[3]) && installCatalogue(&translator)))
        die(QStringLiteral("no Qm/Chinese.qm in %1").arg(args[3]));

    Bench b;
    if (!b.open())
        die(QStringLiteral("no pseudo-terminal for the simulated module"));
    b.sim->setClimate(236, 482); // 23.6 degC, 48.2 %: dew point and wet bulb follow
    b.w->show();
    // As a technician would: link, read the logger's number and settings, poll.
    b.given("serial=251206093015 mode=1 interval=60 linked");
    const auto step = [&](const char *button, const QString &expected) {
        b.press(button);
        if (!QTest::qWaitFor([&] { return b.state(expected) == expected; }, 8000))
            die(QStringLiteral("after %1: %2").arg(button, b.state(expected)));
    };
    step("pushButtonReadSN", "sn=251206093015; watch=0");
    step("pushButtonReadRecord", "sampling=1min; locked=00");
    step("pushButtonRead", "rx=5; boxes=");
    save(b.w, QStringLiteral("%1/main-%2.png").arg(out, args[2]));

    // The dialog as it opens on Link, with the simulator's port typed in.
    b.press("pushButtonRead");
    b.port()->close();
    SerialportSettingDialog dialog(b.w);
    dialog.findChild<QComboBox *>(QStringLiteral("comboBoxName"))->setEditText(b.sim->portPath());
    dialog.show();
    QTest::qWait(200);
    save(&dialog, QStringLiteral("%1/link-%2.png").arg(out, args[2]));
    return 0;
}
