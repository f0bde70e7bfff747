#ifndef HYGROVANE_PUBLISH_REASONS_H
#define HYGROVANE_PUBLISH_REASONS_H

#include <QString>
#include <QStringList>

// Why a connection to the broker failed or ended, in the tool's own words and
// language, one text a kind of failure. The system's and the libraries' own
// reasons are English: the system's is shown only where no kind of ours fits,
// and then never alone.
namespace publish {

// A system error number (errno) as a connection meets it.
QString systemReason(int error);
// A libmosquitto result (MOSQ_ERR_*); MOSQ_ERR_ERRNO says `error`.
QString libraryReason(int rc, int error);
// A failed TLS connection, from what libmosquitto logged of it as errors
// (the TLS library's reasons among them); empty when nothing was.
QString tlsReason(const QStringList &logged, const QString &caFile);

} // namespace publish

#endif
