// `kvt710 script FILE|-`: replays a host's late-bound calls, one JSON object
// a line, and prints one JSON line per step; reports that reach the error
// reporter are printed as their own lines when they arrive.
#pragma once

#include <iosfwd>

namespace kvt710::cli {

class LineReader;

// Runs the script that `lines` reads, writing to `out`. Returns the number of
// steps that failed; a line over the reader's limit is a failed step. Throws
// CommandError (exit code 4) naming the line when reading fails.
int RunScript(LineReader& lines, std::ostream& out);
// The same for the lines of an in-memory stream.
int RunScript(std::istream& in, std::ostream& out);

}  // namespace kvt710::cli
