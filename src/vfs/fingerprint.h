#pragma once

// MD5 fingerprints of files, kept in ".md5" files next to them.

#include <QHash>
#include <QString>

#include <functional>

// The digests that the ".md5" files of one folder give, by lower-cased full path.
class Thasher {
public:
    void loadFrom(const QString &folder);
    QString getHashFor(const QString &path) const;
    bool isEmpty() const { return hashes.isEmpty(); }
    // False when the folder was read and held no ".md5" file: no file in it
    // has its own then, and getOwnFingerprint need not look for one.
    bool mayHaveSumFiles() const { return sumFilesPossible; }

private:
    QHash<QString, QString> hashes;
    bool sumFilesPossible = true;
};

// The digest from the file's own ".md5" file (when not older than the file),
// else from the ".md5" files of its folder; empty when none.
QString getFingerprint(const QString &path);
// Only the file's own ".md5" file (when not older than the file).
QString getOwnFingerprint(const QString &path);

// The MD5 of the file's content in lower-case hexadecimal. `progress` (when
// given) gets the share read after each chunk and cancels by returning false;
// the result is then empty, as for a file that cannot be read.
QString computeFingerprint(const QString &path, const std::function<bool(double share)> &progress = {});

// With fingerprints on and a size at most the option's limit (KiB, rounded
// down), writes the ".md5" file of a file that has none. Returns whether it did.
bool autoFingerprint(const QString &path, qint64 size);
