#pragma once
// Buffers for reply heads, kept between replies instead of freed and
// allocated again: on a busy server one connection's reply follows
// another's. An idle connection holds none; the few kept here are shared by
// all, so holding many idle connections costs no more memory.

#include <QByteArray>

namespace headBuffers {

// An empty buffer with room for at least `room` bytes.
QByteArray take(qsizetype room);
// Keeps `buffer`'s room for a later take() when it is small and nobody else
// shares it; `buffer` is null afterwards either way.
void giveBack(QByteArray &buffer);

} // namespace headBuffers
