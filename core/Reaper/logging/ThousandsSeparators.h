#pragma once

#include <string>

// A count (never negative) as people read it: 49899 -> "49,899". [any thread]
inline std::string withThousandsSeparators (long long value)
{
    auto digits = std::to_string (value);

    for (auto at = static_cast<long long> (digits.size()) - 3; at > 0; at -= 3)
        digits.insert (static_cast<std::size_t> (at), ",");

    return digits;
}
