#pragma once

// Who may access, delete or upload: the decisions request handling,
// listings and archives call.

#include "vfs/file.h"

class TconnView;

// The decision for one action on `node` for the connection `cd` (null: a
// requester without credentials). Upload and delete use the connection's
// account only when its password matches.
bool accountAllowed(TfileAction action, const TconnView *cd, const Tfile *node);
