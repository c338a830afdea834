#pragma once

// Custom node icons as the tree file stores them: opaque image bytes (GIF),
// kept and written back unchanged. A node's `icon` is an index into the
// program's image list; this store maps image bytes to such indexes. The
// desktop window can install a store backed by its own image list.

#include <QByteArray>
#include <QList>

#include <memory>

class TvfsIcons {
public:
    // Custom icons get indexes from here on, clear of the built-in images.
    static constexpr int firstCustomIndex = 10000;

    virtual ~TvfsIcons() = default;
    // The index of an image equal to `bytes`, adding it when none is.
    virtual int indexOf(const QByteArray &bytes);
    // The bytes of a custom icon; empty for built-in or unknown indexes.
    virtual QByteArray bytesOf(int index) const;
    virtual void clear() { images_.clear(); }

    static TvfsIcons &current();
    // Installs another store (null restores the default one).
    static void setCurrent(std::unique_ptr<TvfsIcons> store);

private:
    QList<QByteArray> images_;
};
