// What the framework's own sources share and its users never see.
#pragma once

#include <iterator>

// Temporary objects for handles the framework was only handed live as long as their handle is valid; dead
// ones are dropped whenever a new one is made.
template <class Map, class IsAlive>
void AfxPruneTemporaries(Map& map, IsAlive isAlive)
{
    for (auto it = map.begin(); it != map.end();)
        it = isAlive(it->first) ? std::next(it) : map.erase(it);
}
