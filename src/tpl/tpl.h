// A template: a text divided into named sections, optionally laid over
// another template that lookups fall through to.
#pragma once

#include "util/nameValueList.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>

class Ttpl;
// Templates are shared: a page keeps the ones it uses alive until it is done.
using TtplPtr = std::shared_ptr<const Ttpl>;

struct TtplSection
{
    QString name;
    QString txt;
    bool nolog = false;  // "no log": requests answered with it are not logged
    bool nourl = false;  // "private": not servable by URL
    bool noList = false; // "no list": the folder page does not list the folder
    bool cache = false;  // "cache": takes part in conditional requests
    double ts = 0;       // parse time, days since 1899-12-30 (local time)
};

class Ttpl
{
public:
    explicit Ttpl(const QString &txt = QString(), TtplPtr over = nullptr);
    ~Ttpl();
    Ttpl(const Ttpl &other);
    Ttpl &operator=(const Ttpl &) = delete;

    // A copy of this template's sections over a different template: page
    // chains are built this way, never by rewiring a shared template.
    std::shared_ptr<Ttpl> withOver(TtplPtr newOver) const;

    const TtplPtr &over() const { return fOver; }
    const QString &src() const { return fSrc; }

    void setFullText(const QString &txt);
    void appendString(const QString &txt);

    const TtplSection *getSection(const QString &name, bool inherit = true) const;
    bool sectionExist(const QString &name) const { return getSection(name) != nullptr; }
    QString getTxt(const QString &name) const;
    QString getTxtByExt(const QString &fileExt) const
    {
        return getTxt(QLatin1String("file") + fileExt);
    }
    QString getStrByID(const QString &id) const;
    QStringList getSections() const;

    // What "build=" and "ver=" conditions compare against.
    static void setProgramVersion(const QString &version, const QString &build);

private:
    bool conditionsHold(const QStringList &pieces) const;
    void storeSection(const QString &header, const QString &body);

    QString fSrc;
    QHash<QString, TtplSection> sections;
    QStringList order; // section names in the order they first appeared
    TtplPtr fOver;
    mutable std::shared_ptr<TnameValueList> strTable; // "special:strings", built on first use
};
