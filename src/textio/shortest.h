// The shortest text that reads back as the same double, character for character what
// std::to_chars(first, last, value) writes, at under half its cost (the dense CSV writes hundreds
// of thousands of numbers a run).
#pragma once

namespace liftsim::textio {

// Room `write_shortest` needs at `out`: the text is at most 24 characters, but the digits are
// moved in fixed-size blocks that may write scratch bytes past its end.
inline constexpr int kShortestRoom = 48;

// Writes `value` at `out` and returns the end of the text. Decimal digits from the Dragonbox
// algorithm; the layout is std::to_chars' plain format: fixed notation where it is not longer than
// scientific, otherwise d.ddde±XX. Zero, non-finite values and magnitudes from 2^53 up (where
// to_chars writes a whole number's exact digits) go to std::to_chars itself.
char* write_shortest(char* out, double value);

}  // namespace liftsim::textio
