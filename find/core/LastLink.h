#pragma once
// Where a link last answered: port, line setting and address, kept in the
// user's settings so the next search tries them early. The window's own
// defaults at start do not come from here.

#include <optional>

#include "SearchPlan.h"

namespace finder {

struct LastLink {
    int port = 0;
    LineSetting setting;
    int address = 0;
    friend bool operator==(const LastLink&, const LastLink&) = default;
};

std::optional<LastLink> loadLastLink();
void saveLastLink(const LastLink& link);

}  // namespace finder
