#include "link/rfc2217.h"

#include <QCoreApplication>

namespace rfc2217 {

namespace {

QByteArray subnegotiation(quint8 code, const QByteArray &value)
{
    QByteArray out;
    out.reserve(value.size() * 2 + 6);
    out.append(char(Iac)).append(char(Sb)).append(char(OptionComPort)).append(char(code));
    out.append(escape(value));
    out.append(char(Iac)).append(char(Se));
    return out;
}

QByteArray pair(quint8 verb, quint8 option)
{
    return QByteArray{} + char(Iac) + char(verb) + char(option);
}

bool isHostCharacter(QChar c, bool bracketed)
{
    return (c.unicode() < 128 && c.isLetterOrNumber()) || c == '.' || c == '-' || c == '_'
        || (bracketed && (c == ':' || c == '%'));
}

} // namespace

QByteArray escape(const QByteArray &data)
{
    if (!data.contains(char(Iac)))
        return data;
    QByteArray out;
    out.reserve(data.size() + 8);
    for (const char c : data) {
        out.append(c);
        if (quint8(c) == Iac)
            out.append(c);
    }
    return out;
}

QByteArray negotiation()
{
    return pair(Will, OptionComPort);
}

QByteArray setBaudRate(quint32 rate)
{
    // Network byte order, as every COM Port Control value.
    return subnegotiation(SetBaudRate, QByteArray{} + char(rate >> 24) + char(rate >> 16) + char(rate >> 8) + char(rate));
}

QByteArray setDataSize(quint8 bits)
{
    return subnegotiation(SetDataSize, QByteArray(1, char(bits)));
}

QByteArray setParity(quint8 parity)
{
    return subnegotiation(SetParity, QByteArray(1, char(parity)));
}

QByteArray setStopSize(quint8 stopBits)
{
    return subnegotiation(SetStopSize, QByteArray(1, char(stopBits)));
}

QByteArray lineSettings(quint32 rate)
{
    return setBaudRate(rate) + setDataSize(8) + setParity(ParityNone) + setStopSize(OneStopBit);
}

void Decoder::feed(const QByteArray &chunk, Decoded *out)
{
    for (const char c : chunk) {
        const quint8 byte = quint8(c);
        switch (m_state) {
        case Data:
            if (byte == Iac)
                m_state = Command;
            else
                out->data.append(c);
            break;
        case Command:
            command(byte, out);
            break;
        case Option:
            m_state = Data;
            option(m_verb, byte, out);
            break;
        case Sub:
            if (byte == Iac)
                m_state = SubIac;
            else if (m_sub.size() < MaxSubnegotiation)
                m_sub.append(c);
            else
                m_subTooLong = true;
            break;
        case SubIac:
            if (byte == Iac) {
                m_state = Sub;
                if (m_sub.size() < MaxSubnegotiation)
                    m_sub.append(c);
                else
                    m_subTooLong = true;
            } else if (byte == Se) {
                m_state = Data;
                subnegotiation(out);
            } else {
                // An undoubled IAC inside: the end was lost. What was
                // collected is dropped, and the byte read as the command
                // it starts.
                command(byte, out);
            }
            break;
        }
    }
}

void Decoder::command(quint8 byte, Decoded *out)
{
    m_state = Data;
    if (byte == Iac) {
        out->data.append(char(Iac));
    } else if (byte == Sb) {
        m_state = Sub;
        m_sub.clear();
        m_subTooLong = false;
    } else if (byte >= Will) {
        m_state = Option;
        m_verb = byte;
    }
    // The rest (no operation, data mark, go ahead, ...) mean nothing on a
    // serial line.
}

void Decoder::option(quint8 verb, quint8 option, Decoded *out)
{
    // Only a change of state is answered; a request already agreed to is
    // the peer's confirmation, and a refusal is never answered.
    Side *us = option == OptionComPort ? &m_usComPort : option == OptionBinary ? &m_usBinary : nullptr;
    Side *him = option == OptionBinary ? &m_himBinary : nullptr;
    if (verb == Do || verb == Dont)
        agree(us, verb == Do, option, Will, Wont, &m_declinedDo, out);
    else if (verb == Will || verb == Wont)
        agree(him, verb == Will, option, Do, Dont, &m_declinedWill, out);
}

void Decoder::agree(Side *side, bool on, quint8 option, quint8 yes, quint8 no, std::bitset<256> *declined, Decoded *out)
{
    // An option this end does not use is refused once; one it uses is
    // answered only when its state changes.
    if (!side) {
        if (on && !(*declined)[option]) {
            declined->set(option);
            out->reply += pair(no, option);
        }
        return;
    }
    if (on && *side == No)
        out->reply += pair(yes, option);
    else if (!on && *side == Yes)
        out->reply += pair(no, option);
    *side = on ? Yes : No;
}

void Decoder::subnegotiation(Decoded *out)
{
    if (m_subTooLong || m_sub.size() != 6 || quint8(m_sub[0]) != OptionComPort
        || quint8(m_sub[1]) != SetBaudRate + ServerOffset)
        return;
    quint32 rate = 0;
    for (int i = 2; i < 6; ++i)
        rate = rate << 8 | quint8(m_sub[i]);
    out->rates.append(rate);
}

QString PortUrl::where() const
{
    return (host.contains(':') ? '[' + host + ']' : host) + ':' + QString::number(port);
}

bool isNetworkPort(const QString &name)
{
    const QString text = name.trimmed();
    return text.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
}

PortUrl parsePortUrl(const QString &name)
{
    PortUrl url;
    const QString text = name.trimmed();
    const int scheme = text.indexOf(QLatin1String("://"));
    url.rfc2217 = text.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
    QString rest = isNetworkPort(text) ? text.mid(scheme + 3) : QString();
    if (rest.endsWith('/'))
        rest.chop(1);
    QString port;
    bool bracketed = rest.startsWith('[');
    if (bracketed) {
        const int close = rest.indexOf(']');
        if (close > 0 && rest.mid(close + 1).startsWith(':'))
            url.host = rest.mid(1, close - 1), port = rest.mid(close + 2);
    } else if (rest.count(':') == 1) {
        url.host = rest.section(':', 0, 0), port = rest.section(':', 1);
    }
    bool hostGood = !url.host.isEmpty();
    for (const QChar c : url.host)
        hostGood = hostGood && isHostCharacter(c, bracketed);
    if (!hostGood) {
        url.host.clear();
        url.error = QCoreApplication::translate("NetworkTransport",
                                                "%1 names no server: write tcp://HOST:PORT or rfc2217://HOST:PORT")
                        .arg(name);
        return url;
    }
    bool digits = !port.isEmpty() && port.size() <= 5;
    for (const QChar c : port)
        digits = digits && c >= '0' && c <= '9';
    const uint number = digits ? port.toUInt() : 0;
    if (number < 1 || number > 65535) {
        url.error = QCoreApplication::translate("NetworkTransport", "%1: the port must be a number from 1 to 65535")
                        .arg(name);
        return url;
    }
    url.port = quint16(number);
    return url;
}

} // namespace rfc2217
