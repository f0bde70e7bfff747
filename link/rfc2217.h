#ifndef HYGROVANE_RFC2217_H
#define HYGROVANE_RFC2217_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include <bitset>

// A line behind an Ethernet serial server: the port names that reach one,
// and Telnet with the COM Port Control option (RFC 2217), which carries the
// line's bytes and sets its rate. Nothing here touches a socket.
namespace rfc2217 {

enum : quint8 {
    Se = 240,
    Sb = 250,
    Will = 251,
    Wont = 252,
    Do = 253,
    Dont = 254,
    Iac = 255,
    OptionBinary = 0,
    OptionComPort = 44,
    // Client commands; the server answers each with the code plus 100.
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    ServerOffset = 100,
    ParityNone = 1,
    OneStopBit = 1,
};

// The line's bytes as they go on the connection: every 0xFF doubled.
QByteArray escape(const QByteArray &data);
// IAC WILL COM-PORT-OPTION: the client offers to control the port.
QByteArray negotiation();
QByteArray setBaudRate(quint32 rate);
QByteArray setDataSize(quint8 bits);
QByteArray setParity(quint8 parity);
QByteArray setStopSize(quint8 stopBits);
// The rate, 8 data bits, no parity and one stop bit, in that order.
QByteArray lineSettings(quint32 rate);

// What came from the server, taken apart.
struct Decoded
{
    QByteArray data;        // the line's bytes
    QByteArray reply;       // to send back at once: answers to its options
    QVector<quint32> rates; // the rates it confirmed (its SET-BAUDRATE answers)
};

// Reads the server's side of the connection in chunks cut anywhere. It
// takes the binary option both ways and COM-PORT-OPTION for itself, which
// it offers at the start (negotiation()); every other option asked of it is
// declined, once: a peer that asks again is not answered in a loop.
class Decoder
{
public:
    // Appends to `out` what `chunk` brings.
    void feed(const QByteArray &chunk, Decoded *out);

    // A subnegotiation longer than this is dropped unread.
    static constexpr int MaxSubnegotiation = 64;

private:
    enum State { Data, Command, Option, Sub, SubIac };
    enum Side { No, WantYes, Yes };
    void command(quint8 byte, Decoded *out);
    void option(quint8 verb, quint8 option, Decoded *out);
    // The peer asks one side of an option (`side`: none when this end does
    // not use it) on or off; `yes` and `no` are the answers for that side.
    void agree(Side *side, bool on, quint8 option, quint8 yes, quint8 no, std::bitset<256> *declined, Decoded *out);
    void subnegotiation(Decoded *out);

    State m_state = Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    bool m_subTooLong = false;
    Side m_usComPort = WantYes;
    Side m_usBinary = No;
    Side m_himBinary = No;
    std::bitset<256> m_declinedDo;
    std::bitset<256> m_declinedWill;
};

// A port name that reaches a server: tcp://HOST:PORT (raw bytes, the rate
// is the server's) or rfc2217://HOST:PORT (the rate set through it).
struct PortUrl
{
    bool rfc2217 = false;
    QString host; // without the brackets of an IPv6 address
    quint16 port = 0;
    QString error; // empty when the name is good
    // HOST:PORT as a person writes it, to name the server in messages.
    QString where() const;
};
bool isNetworkPort(const QString &name);
PortUrl parsePortUrl(const QString &name);

} // namespace rfc2217

#endif
