#pragma once
// Contents of small files kept in memory, so that serving one again costs
// the stat the request makes anyway instead of open, fstat, read and close.
//
// An entry is used only while a fresh stat shows the same device, inode,
// size, modification and change times. Files are taken in only once they
// have settled (hasSettled): after that any write gives them a later time.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <list>

struct DiskEntryInfo;

class TfileCache
{
public:
    static constexpr qint64 maxFileSize = 256 * 1024;

    explicit TfileCache(qint64 budgetBytes = 16 << 20) : budget(budgetBytes) {}

    // The bytes of `path` when `info` (a stat of it made for this request)
    // matches what is cached, or when it can be read and kept now; a null
    // array when the file is too big, too fresh or unreadable, so that the
    // caller reads it the usual way.
    QByteArray contents(const QString &path, const DiskEntryInfo &info);
    // For tests: `nowNs` stands for the wall clock.
    QByteArray contents(const QString &path, const DiskEntryInfo &info, qint64 nowNs);

    void clear();
    qint64 bytesUsed() const { return used; }
    qsizetype entryCount() const { return entries.size(); }

private:
    struct Entry
    {
        QByteArray bytes;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        std::list<QString>::iterator age;
    };

    static bool sameFile(const Entry &e, const DiskEntryInfo &info);
    QByteArray load(const QString &path, const DiskEntryInfo &info, qint64 nowNs);
    void drop(QHash<QString, Entry>::iterator it);

    qint64 budget;
    qint64 used = 0;
    QHash<QString, Entry> entries;
    std::list<QString> recency; // most recently used first
};
