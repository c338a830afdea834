#pragma once
// What the tree's adding and editing operations need from the program
// around them: the window shows, selects and copies; headless, each outlet
// left empty does nothing. Questions and messages go through prompt().
#include <QString>

#include <functional>

class Tfile;

struct TeditOutlets
{
    std::function<void(const QString &text)> copyToClipboard;
    std::function<void(const QString &text)> statusText;    // "Adding item #%d"
    std::function<void(bool shown)> showAbortButton;         // while an addition runs
    std::function<void(Tfile *node)> selectNode;             // expanded and selected
    std::function<void(Tfile *node)> editNodeName;           // the name opened for editing
    std::function<void()> bringToFront;                      // before a question about a new item
    std::function<void(const QString &path)> installTemplate; // a ".tpl" file dropped alone
    std::function<Tfile *()> focusedNode;                    // the operator's focused node, or null
};

// The program's outlets (empty until the window or the application sets them).
TeditOutlets &editOutlets();
