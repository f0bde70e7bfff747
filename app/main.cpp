#include "app/catalogue.h"
#include "app/startup.h"
#include "ui/widget.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    setApplicationAttributes();
    QApplication app(argc, argv);
    QTranslator translator;
    installCatalogue(&translator);
    Widget window;
    window.show();
    return app.exec();
}
