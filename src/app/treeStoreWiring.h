#pragma once
// The tree store (saving, loading, automatic saving, the emergency copy and
// the reload at start-up) as the program uses it, kept in step with the
// options. Tapplication connects these to the program's steps.
#include <QString>

#include <functional>

class Tprogram;

// The store's lists copied back into the options whenever they change.
void installTreeStore();
// After options were applied: the store's settings and the tree's file name.
void optionsToStore();
// The reload of the last tree (or the offer of "~temp.vfs"), once per run.
void reloadLastVfsOnce(const Tprogram &program);
// A ".vfs" file named on a command line.
void loadVfsNamed(const Tprogram &program, const QString &path);
// Runs `add` (files named on a command line going into the tree): during
// start-up after the reload and only for this run.
void addNamedFiles(const Tprogram &program, const std::function<void()> &add);
// "--root DIR": the root bound to DIR after the reload, for this run (the
// tree does not count as changed).
void bindRootForThisRun(const Tprogram &program, const QString &folder);
// "start": the reload if still due; "quit": the tree left (kept in
// "~temp.vfs" when changed and nobody can be asked).
void treeStoreOnEvent(const Tprogram &program, const QString &section);
// Every second: the tree saved when auto-save-vfs-every says so.
void autoSaveTree();
