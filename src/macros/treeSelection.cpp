#include "macros/treeSelection.h"

#include "vfs/vfs.h"

TtreeSelection &TtreeSelection::instance()
{
    static TtreeSelection s(Tvfs::instance());
    return s;
}

TtreeSelection::TtreeSelection(Tvfs &tree) : tree_(tree) {}

Tfile *TtreeSelection::selected() const
{
    Tfile *f = current_.data();
    return f && !f->isTemp() && f->vfs() == &tree_ ? f : nullptr;
}

void TtreeSelection::select(Tfile *f)
{
    if (f && (f->isTemp() || f->vfs() != &tree_))
        f = nullptr;
    current_ = TfilePtr(f);
    if (changed)
        changed(f);
}

bool TtreeSelection::selectNext()
{
    Tfile *cur = selected();
    Tfile *next = cur ? nextInTree(cur) : nullptr;
    if (!next)
        return false;
    select(next);
    return true;
}

Tfile *TtreeSelection::nextInTree(const Tfile *f)
{
    if (!f)
        return nullptr;
    if (!f->children().isEmpty())
        return f->children().first().data();
    // Up until an ancestor has a sibling after it.
    for (const Tfile *n = f; n; n = n->parent()) {
        const Tfile *p = n->parent();
        if (!p)
            return nullptr;
        const QList<TfilePtr> &kids = p->children();
        qsizetype i = 0;
        while (i < kids.size() && kids.at(i).data() != n)
            ++i;
        if (i + 1 < kids.size())
            return kids.at(i + 1).data();
    }
    return nullptr;
}
