// The RTU side of reception: arbitrary bytes, cut into arbitrary chunks, with
// or without silence between them, against whichever request is outstanding.
//
// Input: a readItem selector (see fuzz::readItemFrom), then records (see
// fuzz::nextChunks). One kind closes its chunk with the CRC the receiver
// will accept, so that whole replies are common rather than left to chance.
#include "harness.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzz::Kind table[4] = {fuzz::Kind::Raw, fuzz::Kind::RtuWithCrc,
                                        fuzz::Kind::Repeat, fuzz::Kind::LoggerFrame};
    Widget *w = fuzz::window();
    fuzz::Reader in(data, size);
    const quint16 readItem = fuzz::readItemFrom(in);
    fuzz::resetReception(w, readItem);
    fuzz::run(w, readItem, in, table, [](const QByteArray &) {});
    return 0;
}
