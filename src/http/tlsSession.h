#pragma once
// One server-side TLS session over a non-blocking socket. Every call returns
// at once; what the session waits for (input or room to write) is reported
// so that the socket can wait for it on the poller.

#include <QString>
#include <QtGlobal>

struct ssl_ctx_st;
struct ssl_st;

class TtlsSession
{
public:
    enum Status {
        TS_OK,         // bytes moved, or the handshake is complete
        TS_WANT_READ,  // retry when the socket is readable
        TS_WANT_WRITE, // retry when the socket has room
        TS_CLOSED,     // the peer ended the session cleanly
        TS_ERROR,      // protocol or socket failure: the connection is done
    };

    TtlsSession(ssl_ctx_st *ctx, int fd);
    ~TtlsSession();
    TtlsSession(const TtlsSession &) = delete;
    TtlsSession &operator=(const TtlsSession &) = delete;

    bool isValid() const { return ssl != nullptr; }
    bool isEstablished() const { return established; }
    Status handshake();
    // Bytes moved (> 0), or 0 with *status saying why none were.
    qint64 read(char *dst, qint64 max, Status *status);
    qint64 write(const char *src, qint64 len, Status *status);
    // Kernel TLS: the file goes out encrypted by the kernel. Only when
    // kernelSend() holds.
    qint64 sendFile(int fileFd, qint64 offset, qint64 len, Status *status);
    bool kernelSend() const;
    // Decrypted bytes held by the session, not yet read.
    bool hasPending() const;
    // Nothing is left to read without new input: the session holds no
    // bytes and its last read of the socket found the kernel's queue empty
    // (took less than it asked for). An edge-triggered poller then reports
    // the next arrival, and the reader need not call again to learn it.
    bool inputDrained() const;
    // Sends our close_notify if the socket takes it now; never waits.
    void notifyClose();
    // "TLSv1.3" and the like, once established.
    QString protocol() const;

private:
    Status statusOf(int ret);

    ssl_st *ssl = nullptr;
    bool established = false;
    bool lastSocketReadShort = false;

    static long socketReadWatch(struct bio_st *bio, int oper, const char *argp, size_t len, int argi,
                                long argl, int ret, size_t *processed);
};

// Whether the first byte a client sent opens a TLS handshake record.
inline bool startsTlsHandshake(unsigned char firstByte)
{
    return firstByte == 0x16;
}
