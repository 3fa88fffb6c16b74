// The "did you mean" of a message: which known name a mistyped one was most
// likely meant as.
#ifndef ZT_TOOL_NEAREST_NAME_H_
#define ZT_TOOL_NEAREST_NAME_H_

#include <cstddef>
#include <string>
#include <vector>

// The one of `names` nearest to `typed`, ASCII letters compared in any case:
// by the letters that must be inserted, dropped, replaced or swapped with
// the next, where a name that begins the other counts as one slip. Empty
// when `typed` is, when none is within `farthest` slips, or when two are as
// near: then neither is surely meant.
std::string nearestName(const std::string& typed, const std::vector<std::string>& names,
                        size_t farthest);

#endif  // ZT_TOOL_NEAREST_NAME_H_
