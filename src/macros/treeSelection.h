#pragma once

// The node selected in the tree, as the window shows it and as scripts move
// it ("vfs select"). The window drives the same holder and follows it through
// `changed`; without a window it works alone over the program's tree.

#include "vfs/file.h"

#include <functional>

class Tvfs;

class TtreeSelection {
public:
    // The program's selection, over Tvfs::instance().
    static TtreeSelection &instance();

    explicit TtreeSelection(Tvfs &tree);

    // The selected node; null when none is, or when it has left the tree.
    Tfile *selected() const;
    // Selects `f` (a node of this tree; anything else clears the selection).
    void select(Tfile *f);
    void clear() { select(nullptr); }
    // Moves to the node after the selected one in depth-first order (a
    // folder's children before its next sibling). False, with the selection
    // unchanged, when nothing is selected or the last node is.
    bool selectNext();

    // The node that follows `f` in depth-first order over `f`'s tree; null
    // after the last one.
    static Tfile *nextInTree(const Tfile *f);

    // Told after every change of the selection (the window mirrors it).
    std::function<void(Tfile *)> changed;

private:
    Tvfs &tree_;
    TfilePtr current_; // held, so a removed node is never reached freed
};
