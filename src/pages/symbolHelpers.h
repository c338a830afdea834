#pragma once

// Small helpers shared by the files that define the page symbols.

#include "tpl/tpl.h"

#include <QString>

#include <functional>

// The value a slot gives, or `def` when nothing is plugged in.
template <class T> T callOr(const std::function<T()> &fn, T def = T())
{
    return fn ? fn() : def;
}

// A template's section, empty without a template.
inline QString sectionOf(const TtplPtr &t, const QString &name)
{
    return t ? t->getTxt(name) : QString();
}

// Every "%sym%" of the text (any case) becomes the value.
inline void replaceSym(QString &text, const char *sym, const QString &value)
{
    text.replace(QLatin1String(sym), value, Qt::CaseInsensitive);
}
