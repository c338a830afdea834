#pragma once

#include <QString>

class Tfile;

// The "/"-delimited path of a temporary node below its real folder
// (for a node reached through a shell link, the link's folder and its name).
QString tempPathBelowFolder(const Tfile &temp);
