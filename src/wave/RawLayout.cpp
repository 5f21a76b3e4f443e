#include "wave/RawLayout.h"

#include <utility>

namespace {
SourceResolver& Registered()
{
    static SourceResolver fn;
    return fn;
}
} // namespace

void SetSourceResolver(SourceResolver fn)
{
    Registered() = std::move(fn);
}

const SourceResolver& CurrentSourceResolver()
{
    return Registered();
}
