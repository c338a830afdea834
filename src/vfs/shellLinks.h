#pragma once

// Shell links are desktop shortcut files that stand for another path. Linux
// has none ("*.lnk" files are ordinary files), so the default answers "not a
// link"; the hook stays so that a platform with such links can plug them in.

#include <QString>

#include <memory>

class TshellLinks {
public:
    virtual ~TshellLinks() = default;

    // Whether `path` designates a link to be resolved.
    virtual bool isShellLink(const QString &path) const;
    // The target of the link at `path`; empty when it cannot be resolved.
    virtual QString resolve(const QString &path) const;
    // Whether "NAME.lnk" may stand for a missing "NAME" when resolving URLs.
    virtual bool findsByNameWithoutExtension() const;

    static const TshellLinks &current();
    // Installs another implementation (null restores the default).
    static void setCurrent(std::unique_ptr<TshellLinks> impl);
};
