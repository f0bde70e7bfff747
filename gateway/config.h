#ifndef HYGROVANE_GATEWAY_CONFIG_H
#define HYGROVANE_GATEWAY_CONFIG_H

#include "publish/publisher.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What the gateway is told to do, from its command line and the file that
// --config names, and the file the bus window writes for it. Qt Core only:
// the gateway links no widgets.
namespace gateway {

struct Config
{
    QString port;              // a device path, or a network serial server's URL
    qint32 baudRate = 0;       // 0: search the rate, as Link's AUTO does
    QVector<quint8> addresses; // ascending; empty: scan 1..247 at start and watch what answers
    int answerMs = -1;         // -1: from the answer time Link measures
    int periodMs = 1000;       // a round of the watch
    QString broker;            // empty: readings are only recorded
    QString user;
    QString passwordFile;
    QString password;          // read from passwordFile; never written anywhere
    QString caFile;
    QString prefix;            // empty: hygrovane/<host name>
    bool discovery = true;
    QString record;            // a CSV file every reading is appended to
    int rescanMinutes = 10;    // the addresses not watched looked at again; 0: never
    QString spool;             // where the readings wait for the broker; empty: in memory
    qint64 spoolMax = 1000000; // the most readings waiting
    QString modbusTcp;         // [HOST:]PORT a Modbus TCP listener shares the line at; empty: none
    QString rtuOverTcp;        // [HOST:]PORT for RTU frames over TCP; empty: none
    bool allowWrites = false;  // the listeners' clients may write
    int cacheMs = -1;          // a read answered from the watch's last reading this young; -1: the period
    int maxClients = 16;
    // Where the file was read from, which names the line in the default
    // prefix: not a setting, and not compared.
    QString configFile;

    bool operator==(const Config &o) const;
    bool operator!=(const Config &o) const { return !(*this == o); }
};

struct Parsed
{
    enum Action { Run, Help, Version, Bad };
    Action action = Bad;
    Config config;
    // Bad: what is wrong, naming the option (--baud) or the file, line and key.
    QString message;
};

// The arguments (the program's name first) and the file --config names, read
// here with the password file. An option overrides the file's key; an empty
// value is as good as none. Nothing is guessed: an unknown key, an option
// or a key given twice, a value with anything after it (a comment too), a
// number out of its range, a file that is not UTF-8 text, and a password
// anywhere but in its file are bad, named with where they stand.
Parsed parse(const QStringList &arguments);

// "1-32,40": addresses 1..247, one or a range a comma, in any order; the
// result ascending without repeats. False, with what is wrong, otherwise.
bool parseAddresses(const QString &text, QVector<quint8> *addresses, QString *error);
// The shortest such list of the addresses: runs of three or more as ranges.
QString addressList(const QVector<quint8> &addresses);

// The prefix defaults to hygrovane/<this host's name>/<the line's name>.
publish::Settings publisherSettings(const Config &config);

// The --help text.
QString helpText();

// The file parse() reads back as the same Config, with a header saying what
// it is for. The password never: only where its file is.
QString configText(const Config &config);

} // namespace gateway

#endif
