#pragma once
// The main template's "special:import" section, run when a template file is
// selected: the file is the current item and its folder the current folder,
// so "%item-...%" and "%folder...%" symbols name them.

#include <QString>

// Runs `text` as a script over the main template with temporary nodes for
// `tplFile` and its folder, released afterwards.
void runTemplateImportText(const QString &text, const QString &tplFile);
// Makes the main template hand its import section to runTemplateImportText.
void installTemplateImportRunner();
