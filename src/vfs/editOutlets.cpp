#include "vfs/editOutlets.h"

TeditOutlets &editOutlets()
{
    static TeditOutlets outlets;
    return outlets;
}
