// hygrovane-gateway: one line watched and published as a service.
#include "app/buildstamp.h"
#include "gateway/config.h"
#include "gateway/language.h"
#include "gateway/service.h"
#include "gateway/signals.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include <csignal>
#include <cstdio>

namespace {

void print(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(HYGROVANE_VERSION));
    QTranslator catalogue;
    QTranslator toolkit;
    gateway::installLanguage(&catalogue, &toolkit);

    const gateway::Parsed parsed = gateway::parse(app.arguments());
    switch (parsed.action) {
    case gateway::Parsed::Help:
        print(stdout, gateway::helpText());
        return 0;
    case gateway::Parsed::Version:
        print(stdout, QStringLiteral("hygrovane-gateway %1 (%2)\n")
                          .arg(QStringLiteral(HYGROVANE_VERSION), QLocale::c().toString(BuildDate, QStringLiteral("yyyy.MM.dd"))));
        return 0;
    case gateway::Parsed::Bad:
        print(stderr, parsed.message + QLatin1Char('\n'));
        return 2;
    case gateway::Parsed::Run:
        break;
    }

    gateway::Signals stopSignals;
    if (!stopSignals.isValid()) {
        print(stderr, stopSignals.error() + QLatin1Char('\n'));
        return 1;
    }
    gateway::Service service(parsed.config);
    QObject::connect(&stopSignals, &gateway::Signals::received, &service, [&service, &app](int signal) {
        if (signal != SIGHUP)
            return service.shutdown();
        // As at the start: the same arguments, the files read anew.
        const gateway::Parsed again = gateway::parse(app.arguments());
        service.reload(again.config, again.action == gateway::Parsed::Run ? QString() : again.message);
    });
    QObject::connect(&service, &gateway::Service::finished, &app, &QCoreApplication::exit);
    int code = 1;
    if (!service.start(&code))
        return code;
    return app.exec();
}
