// The kvt710 command as a function: what its main runs, and what a test
// host runs after installing its own backends.
#pragma once

namespace kvt710::cli {

// Parses the command line, runs the command and returns its exit code.
// Registers the component's objects (RegisterServer) before running it.
int RunCommandLine(int argc, char** argv);

}  // namespace kvt710::cli
