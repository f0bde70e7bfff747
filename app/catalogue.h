#ifndef HYGROVANE_CATALOGUE_H
#define HYGROVANE_CATALOGUE_H

class QTranslator;

// Loads <working directory>/Qm/Chinese.qm into the translator and installs it
// in the application. A missing catalogue is no error: the texts stay English.
// Returns whether the catalogue was found. With it, Qt's own Chinese
// catalogue (qtbase_zh_CN.qm, from the system's Qt translations) goes into
// `toolkit`, or into a translator the application owns when none is given.
bool installCatalogue(QTranslator *translator, QTranslator *toolkit = nullptr);

#endif
