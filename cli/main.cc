// kvt710: the command-line host of the component.
#include "cli/command_line.h"

int main(int argc, char** argv) {
  return kvt710::cli::RunCommandLine(argc, argv);
}
