#include "app/services.h"

Tservices::Tservices() : config(*options, *accounts), treeStore(*tree)
{
    config->feedsTree = true; // the program's configuration sets up its tree
    server.emplace();
}
