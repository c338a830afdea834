#include "vfs/shellLinks.h"

bool TshellLinks::isShellLink(const QString &) const
{
    return false;
}

QString TshellLinks::resolve(const QString &) const
{
    return {};
}

bool TshellLinks::findsByNameWithoutExtension() const
{
    return false;
}

namespace {
std::unique_ptr<TshellLinks> &installed()
{
    static std::unique_ptr<TshellLinks> impl;
    return impl;
}
} // namespace

const TshellLinks &TshellLinks::current()
{
    static const TshellLinks none;
    const auto &impl = installed();
    return impl ? *impl : none;
}

void TshellLinks::setCurrent(std::unique_ptr<TshellLinks> impl)
{
    installed() = std::move(impl);
}
