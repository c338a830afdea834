#pragma once
// Whatever the application attaches to a connection. The connection only
// points to it; the application frees it.

class ThttpConnOwner
{
public:
    virtual ~ThttpConnOwner() = default;
};
