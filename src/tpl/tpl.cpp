#include "tpl/tpl.h"

#include "util/dateTime.h"
#include "util/masks.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

QString gVersion = QStringLiteral("1.0");
QString gBuild = QStringLiteral("1");

// A header line: "[" in the first column, and after the first "]" only
// spaces, tabs and CRs up to the line feed. Returns the content or nothing.
bool headerContent(QStringView line, QString &content)
{
    if (!line.startsWith(QLatin1Char('['))) return false;
    const qsizetype close = line.indexOf(QLatin1Char(']'));
    if (close < 0) return false;
    for (qsizetype i = close + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\r')) return false;
    }
    content = line.mid(1, close - 1).toString();
    return true;
}

// Drops one line break (LF or CR LF) at the end.
QString chopLineBreak(QString s)
{
    if (s.endsWith(QLatin1Char('\n'))) {
        s.chop(1);
        if (s.endsWith(QLatin1Char('\r'))) s.chop(1);
    }
    return s;
}

} // namespace

void Ttpl::setProgramVersion(const QString &version, const QString &build)
{
    gVersion = version;
    gBuild = build;
}

Ttpl::Ttpl(const QString &txt, TtplPtr over) : fOver(std::move(over))
{
    appendString(txt);
}

Ttpl::~Ttpl() = default;

Ttpl::Ttpl(const Ttpl &other)
    : fSrc(other.fSrc), sections(other.sections), order(other.order), fOver(other.fOver)
{
}

std::shared_ptr<Ttpl> Ttpl::withOver(TtplPtr newOver) const
{
    auto t = std::make_shared<Ttpl>(*this);
    t->fOver = std::move(newOver);
    return t;
}

void Ttpl::setFullText(const QString &txt)
{
    fSrc.clear();
    sections.clear();
    order.clear();
    strTable.reset();
    appendString(txt);
}

void Ttpl::appendString(const QString &input)
{
    QString txt = input;
    if (txt.startsWith(QStringView(u"\u00EF\u00BB\u00BF")))
        txt.remove(0, 3);
    else if (txt.startsWith(QChar(0xFEFF))) // the same mark read as UTF-8
        txt.remove(0, 1);
    if (txt.isEmpty()) return;
    fSrc += txt;

    struct Header
    {
        qsizetype lineStart;
        qsizetype bodyStart;
        QString content;
        bool last;
    };
    QList<Header> headers;
    for (qsizetype start = 0; start < txt.size();) {
        qsizetype lf = txt.indexOf(QLatin1Char('\n'), start);
        const bool lastLine = lf < 0;
        const qsizetype end = lastLine ? txt.size() : lf;
        QString content;
        if (headerContent(QStringView(txt).mid(start, end - start), content))
            headers.append({start, lastLine ? txt.size() : lf + 1, content, lastLine});
        if (lastLine) break;
        start = lf + 1;
    }

    const qsizetype firstHeader = headers.isEmpty() ? txt.size() : headers.first().lineStart;
    const QString leading = chopLineBreak(txt.left(firstHeader));
    if (!leading.trimmed().isEmpty()) storeSection(QString(), leading);

    for (qsizetype h = 0; h < headers.size(); ++h) {
        const Header &hd = headers[h];
        if (hd.last) // a header on the last line, without line feed, defines nothing
            break;
        const qsizetype bodyEnd = h + 1 < headers.size() ? headers[h + 1].lineStart : txt.size();
        storeSection(hd.content, chopLineBreak(txt.mid(hd.bodyStart, bodyEnd - hd.bodyStart)));
    }
}

bool Ttpl::conditionsHold(const QStringList &pieces) const
{
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QString &piece = pieces[i];
        const qsizetype eq = piece.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        const QString key = piece.left(eq);
        const QString value = piece.mid(eq + 1);
        if (key == QLatin1String("build")) {
            const qsizetype dash = value.indexOf(QLatin1Char('-'));
            const QString min = dash < 0 ? value : value.left(dash);
            const QString max = dash < 0 ? QString() : value.mid(dash + 1);
            // Ordinal comparison of the texts, as stored templates expect.
            if (!max.isEmpty() && QString::compare(gBuild, max) > 0) return false;
            if (!min.isEmpty() && QString::compare(gBuild, min) < 0) return false;
        } else if (key == QLatin1String("ver")) {
            if (!matchFileMask(value, gVersion)) return false;
        } else if (key == QLatin1String("template")) {
            QString id = getTxt(QStringLiteral("template id"));
            const qsizetype eol = id.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
            if (eol >= 0) id.truncate(eol);
            if (!matchFileMask(value, id)) return false;
        }
    }
    return true;
}

void Ttpl::storeSection(const QString &header, const QString &body)
{
    const QStringList pieces = header.split(QLatin1Char('|'));
    if (!conditionsHold(pieces)) return;
    TtplSection rec;
    rec.txt = body;
    rec.ts = now();
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QString &f = pieces[i];
        if (f == QLatin1String("no log"))
            rec.nolog = true;
        else if (f == QLatin1String("private"))
            rec.nourl = true;
        else if (f == QLatin1String("no list"))
            rec.noList = true;
        else if (f == QLatin1String("cache"))
            rec.cache = true;
    }
    QString names = pieces.first();
    const bool appendMode = names.startsWith(QLatin1Char('+'));
    if (appendMode) names.remove(0, 1);
    for (const QString &raw : names.split(QLatin1Char('='))) {
        const QString name = raw.trimmed();
        auto it = sections.find(name);
        if (it != sections.end()) {
            if (appendMode) {
                it->txt += rec.txt;
                it->nolog |= rec.nolog;
                it->nourl |= rec.nourl;
                it->noList |= rec.noList;
            } else {
                TtplSection s = rec;
                s.name = name;
                *it = s;
            }
            continue;
        }
        TtplSection s = rec;
        s.name = name;
        if (appendMode && fOver) {
            if (const TtplSection *below = fOver->getSection(name, true)) {
                s.txt = below->txt + rec.txt;
                s.nolog |= below->nolog;
                s.nourl |= below->nourl;
                s.noList |= below->noList;
            }
        }
        sections.insert(name, s);
        order.append(name);
    }
}

const TtplSection *Ttpl::getSection(const QString &name, bool inherit) const
{
    for (const Ttpl *t = this; t; t = inherit ? t->fOver.get() : nullptr) {
        auto it = t->sections.constFind(name);
        if (it != t->sections.constEnd()) return &*it;
    }
    return nullptr;
}

QString Ttpl::getTxt(const QString &name) const
{
    const TtplSection *s = getSection(name, true);
    return s ? s->txt : QString();
}

QString Ttpl::getStrByID(const QString &id) const
{
    // Without a strings section of its own, a template would read the one
    // below it into a table of its own (a page's template, made for each
    // request, at each page): the template below answers, from its table.
    static const QString stringsSection = QStringLiteral("special:strings");
    if (fOver && !getSection(stringsSection, false)) return fOver->getStrByID(id);
    if (!strTable)
        strTable = std::make_shared<TnameValueList>(
            TnameValueList::fromText(getTxt(stringsSection)));
    QString v = strTable->value(id);
    if (v.isEmpty() && fOver) v = fOver->getStrByID(id);
    return v;
}

QStringList Ttpl::getSections() const
{
    return order;
}
