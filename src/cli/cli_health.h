#pragma once
// kestrel health: identity, fiscal state, clock difference and the status bits that
// need attention, of one device.
#include <string>
#include <vector>

namespace kestrel::cli {

struct PageCommandContext;

int runHealth(PageCommandContext& ctx);

}  // namespace kestrel::cli
