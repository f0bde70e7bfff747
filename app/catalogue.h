#ifndef HYGROVANE_CATALOGUE_H
#define HYGROVANE_CATALOGUE_H

class QTranslator;

// Loads <working directory>/Qm/Chinese.qm into the translator and installs it
// in the application. A missing catalogue is no error: the texts stay English.
// Returns whether the catalogue was found.
bool installCatalogue(QTranslator *translator);

#endif
