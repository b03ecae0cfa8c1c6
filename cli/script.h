// `kvt710 script FILE|-`: replays a host's late-bound calls, one JSON object
// a line, and prints one JSON line per step; reports that reach the error
// reporter are printed as their own lines when they arrive.
#pragma once

#include <iosfwd>

namespace kvt710::cli {

// Runs the script read from `in`, writing to `out`. Returns the number of
// steps that failed.
int RunScript(std::istream& in, std::ostream& out);

}  // namespace kvt710::cli
