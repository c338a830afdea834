// Feeds arbitrary text to the reader of the configuration text: every key,
// old names, packed and structured values (accounts, bans, icon masks and
// their images, columns), the build line and the rules applied after.
// Besides crashes and sanitizer reports it checks that the text written from
// what was read reads again into the same text. Nothing is stored: the
// places of the stores lie below a plain file, where no folder can be made.

#include "fuzzTools.h"

#include "config/config.h"
#include "util/prompt.h"
#include "vfs/account.h"

#include <QFile>

namespace {

class TsilentPrompt : public Tprompt
{
public:
    void message(const QString &, TpromptKind) override {}
    TpromptButton question(const QString &, TpromptButtons, TpromptButton safeDefault) override
    {
        return safeDefault;
    }
};

TcfgPlaces unwritablePlaces()
{
    const QString block = scratchFolder() + QStringLiteral("/not-a-folder");
    QFile f(block);
    fuzzCheck(f.open(QIODevice::WriteOnly), "scratch file", block);
    const QString root = block + u'/';
    TcfgPlaces p;
    p.cfgFolder = root;
    p.iniFile = root + QStringLiteral("zof.ini");
    p.userStore = root + QStringLiteral("user/zof.cfg");
    p.machineStore = root + QStringLiteral("machine/zof.cfg");
    p.ipsFile = root + QStringLiteral("zof.ips.txt");
    p.updateCheckTmp = root + QStringLiteral("update.tmp");
    return p;
}

// The text a fresh configuration writes after reading `text`.
QString readAndWrite(const QString &text, bool alreadyStarted)
{
    static const TcfgPlaces places = unwritablePlaces();
    Toptions options;
    Taccounts accounts;
    Tconfig config(options, accounts, places);
    config.setCfg(text, alreadyStarted);
    return config.getCfg();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool once = [] {
        setPrompt(std::make_unique<TsilentPrompt>());
        return true;
    }();
    (void)once;
    const QString text = fuzzText(data, size);
    const bool alreadyStarted = size > 0 && (data[0] & 1);
    const QString written = readAndWrite(text, alreadyStarted);
    const QString again = readAndWrite(written, alreadyStarted);
    fuzzCheck(written == again, "the written configuration reads back the same",
              QStringLiteral("written:\n%1\nread back and written:\n%2").arg(written, again));
    return 0;
}
