#include "http/chunkedDecoder.h"
#include "util/hexDigit.h"

void TchunkedDecoder::start()
{
    stage = ST_SIZE;
    left = 0;
    total = 0;
    trailerBytes = 0;
    partial.clear();
}

TchunkedDecoder::Result TchunkedDecoder::fail()
{
    stage = ST_FAILED;
    partial.clear();
    return CD_ERROR;
}

// The next line of in from *pos, without its LF or CR LF, joined to what an
// earlier read left unfinished. False when in ends first: the piece is kept
// (at most limit bytes of it; a longer line fails the body).
bool TchunkedDecoder::takeLine(QByteArrayView in, qsizetype *pos, qsizetype limit, QByteArrayView *line)
{
    const QByteArrayView rest = in.sliced(*pos);
    const qsizetype lf = rest.indexOf('\n');
    const QByteArrayView piece = lf < 0 ? rest : rest.first(lf);
    if (partial.size() + piece.size() > limit + 1) { // + 1: the CR of a CR LF
        fail();
        return false;
    }
    if (lf < 0) {
        partial.append(piece);
        *pos = in.size();
        return false;
    }
    *pos += lf + 1;
    if (partial.isEmpty()) {
        *line = piece;
    } else {
        partial.append(piece);
        *line = partial;
    }
    if (line->endsWith('\r'))
        line->chop(1);
    return true;
}

bool TchunkedDecoder::parseSize(QByteArrayView line)
{
    quint64 size = 0;
    qsizetype i = 0;
    for (int d; i < line.size() && (d = hexValue(line[i])) >= 0; ++i) {
        if (size >> 56)
            return false; // far beyond any body we would take
        size = size * 16 + quint64(d);
    }
    if (i == 0)
        return false;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    // Chunk extensions (";name=value") carry nothing we use.
    if (i < line.size() && line[i] != ';')
        return false;
    left = qint64(size);
    return true;
}

TchunkedDecoder::Result TchunkedDecoder::feed(QByteArrayView in, QByteArray &out, qsizetype *used)
{
    *used = 0;
    if (stage == ST_DONE)
        return CD_DONE;
    if (!isActive())
        return CD_ERROR;
    qsizetype pos = 0;
    QByteArrayView line;
    while (pos < in.size()) {
        switch (stage) {
        case ST_SIZE:
            if (!takeLine(in, &pos, maxSizeLine, &line))
                break;
            if (!parseSize(line))
                return fail();
            partial.clear();
            stage = left > 0 ? ST_DATA : ST_TRAILER;
            break;
        case ST_DATA: {
            const qint64 n = qMin<qint64>(left, in.size() - pos);
            out.append(in.data() + pos, qsizetype(n));
            pos += qsizetype(n);
            left -= n;
            total += n;
            if (left == 0)
                stage = ST_DATA_END;
            break;
        }
        case ST_DATA_END:
            // Nothing but the line end may follow the data.
            if (!takeLine(in, &pos, 0, &line))
                break;
            if (!line.isEmpty())
                return fail();
            partial.clear();
            stage = ST_SIZE;
            break;
        case ST_TRAILER:
            // Trailer fields are read and dropped; an empty line ends the body.
            if (!takeLine(in, &pos, maxTrailers - trailerBytes, &line))
                break;
            trailerBytes += line.size() + 2;
            partial.clear();
            if (line.isEmpty()) {
                stage = ST_DONE;
                *used = pos;
                return CD_DONE;
            }
            break;
        default:
            break;
        }
        if (stage == ST_FAILED)
            return CD_ERROR;
    }
    *used = pos;
    return CD_MORE;
}
