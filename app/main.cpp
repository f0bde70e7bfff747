#include "app/catalogue.h"
#include "ui/widget.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTranslator translator;
    installCatalogue(&translator);
    Widget window;
    window.show();
    return app.exec();
}
