#pragma once
// Decodes a request body sent with "Transfer-Encoding: chunked", as it
// arrives: chunk data is passed on at once, only an unfinished size or
// trailer line is kept, so the memory held does not grow with the body.

#include <QByteArray>
#include <QByteArrayView>

class TchunkedDecoder
{
public:
    enum Result { CD_MORE, CD_DONE, CD_ERROR };

    // Bounds on what a peer may send around the data.
    static constexpr qsizetype maxSizeLine = 4096;   // size and extensions
    static constexpr qsizetype maxTrailers = 65536;  // every trailer line together

    void start();
    bool isActive() const { return stage != ST_IDLE && stage != ST_DONE && stage != ST_FAILED; }
    bool isDone() const { return stage == ST_DONE; }
    // Body bytes decoded since start().
    qint64 decoded() const { return total; }

    // Decodes what it can of in, appending the body bytes to out. *used
    // tells how much of in was taken: all of it unless the body ended
    // (CD_DONE: what follows belongs to the next request). After CD_ERROR
    // the body cannot be told apart from what follows it.
    Result feed(QByteArrayView in, QByteArray &out, qsizetype *used);

private:
    enum Stage { ST_IDLE, ST_SIZE, ST_DATA, ST_DATA_END, ST_TRAILER, ST_DONE, ST_FAILED };

    bool takeLine(QByteArrayView in, qsizetype *pos, qsizetype limit, QByteArrayView *line);
    bool parseSize(QByteArrayView line);
    Result fail();

    Stage stage = ST_IDLE;
    qint64 left = 0;          // bytes of the current chunk still to come
    qint64 total = 0;
    qsizetype trailerBytes = 0;
    QByteArray partial;       // the start of a line cut by the end of a read
};
