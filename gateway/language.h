#ifndef HYGROVANE_GATEWAY_LANGUAGE_H
#define HYGROVANE_GATEWAY_LANGUAGE_H

#include <QProcessEnvironment>
#include <QString>

class QTranslator;

// The language of the gateway's messages: the locale's, as programs on the
// box take it for their messages, from a catalogue that comes with the
// program. A service is started in a folder that is no concern of the
// program's language, so the working directory is never looked at.
namespace gateway {

// The catalogue's name for the environment's messages ("Chinese"), or empty
// for English: LANGUAGE's list where the locale is not C, else LC_ALL, then
// LC_MESSAGES, then LANG.
QString catalogueFor(const QProcessEnvironment &environment);

// Installs that catalogue from where the program is: installed,
// <bindir>/../share/hygrovane-gateway/; in the build folder, Qm/ beside it.
// With it, Qt's own catalogue for the language into `toolkit`. False when
// the messages stay English.
bool installLanguage(QTranslator *own, QTranslator *toolkit);

} // namespace gateway

#endif
