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
    // The line shared with other masters: [HOST:]PORT, empty for none.
    QString modbusTcp;
    QString rtuOverTcp;
    bool allowWrites = false;  // their writes go to the modules
    int cacheMs = -1;          // a read of a reading younger than this is answered from memory; -1: the period
    int maxClients = 16;       // a listener's connections at most

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
// value is as good as none. Unknown keys, a key twice in the file and a
// password anywhere but in its file are bad.
Parsed parse(const QStringList &arguments);

// "1-32,40": addresses 1..247, one or a range a comma, in any order; the
// result ascending without repeats. False, with what is wrong, otherwise.
bool parseAddresses(const QString &text, QVector<quint8> *addresses, QString *error);
// The shortest such list of the addresses: runs of three or more as ranges.
QString addressList(const QVector<quint8> &addresses);

// The prefix defaults to hygrovane/<this host's name>.
publish::Settings publisherSettings(const Config &config);

// The --help text.
QString helpText();

// The file parse() reads back as the same Config, with a header saying what
// it is for. The password never: only where its file is.
QString configText(const Config &config);

} // namespace gateway

#endif
