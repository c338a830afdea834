// Feeds arbitrary bytes to the tree file reader. Besides crashes and
// sanitizer reports it checks that what the reader accepted is written back
// in a form that reads again to the same bytes.

#include "vfs/vfs.h"
#include "vfs/vfsFormat.h"
#include "vfs/vfsFormatIcons.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

QByteArray readWrite(Tvfs &vfs, const QByteArray &data, bool readOn)
{
    vfs.resetVFS();
    TvfsLoadFlags flags;
    TvfsReadHooks hooks;
    // Either answer to the questions about damaged or newer files.
    hooks.askYesNo = [readOn](const QString &, bool) { return !readOn; };
    hooks.inflateCap = 64 << 20;
    bytesToVfs(data, vfs, flags, hooks);
    return vfsToBytes(vfs, QStringLiteral("1.0"), QStringLiteral("400"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Tvfs vfs;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    // Icons read by earlier inputs would pile up in the process-wide store.
    TvfsIcons::current().clear();
    const bool readOn = size > 0 && (data[size - 1] & 1);
    const QByteArray once = readWrite(vfs, input, readOn);
    const QByteArray twice = readWrite(vfs, once, readOn);
    if (once != twice) {
        std::fprintf(stderr, "written tree does not read back the same (%lld vs %lld bytes)\n",
                     static_cast<long long>(once.size()), static_cast<long long>(twice.size()));
        // Both writings, for a look with a hex viewer.
        for (const auto &[name, bytes] : {std::pair{"mismatch-once.vfs", &once}, std::pair{"mismatch-twice.vfs", &twice}})
            if (FILE *f = std::fopen(name, "wb")) {
                std::fwrite(bytes->constData(), 1, size_t(bytes->size()), f);
                std::fclose(f);
            }
        std::abort();
    }
    return 0;
}
