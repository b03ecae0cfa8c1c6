// kvt710: the command-line host of the component.
#include <fstream>
#include <iostream>
#include <optional>

#include <CLI/CLI.hpp>

#include "cli/common.h"
#include "cli/script.h"
#include "component/server.h"
#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"

namespace {

using kvt710::cli::CommandError;

int RunScriptFile(const std::string& file) {
  if (file == "-") return kvt710::cli::RunScript(std::cin, std::cout) == 0 ? 0 : 1;
  std::ifstream in(file);
  if (!in) throw CommandError{kvt710::cli::kExitUsage, "Cannot read the script " + file};
  return kvt710::cli::RunScript(in, std::cout) == 0 ? 0 : 1;
}

int Init(const std::optional<std::string>& db) {
  std::string connection_string = kvt710::cli::ResolveConnectionString(db);
  auto connection = kvt710::cli::OpenDatabase(connection_string);
  try {
    kvt710::db::CreateProductSchema(*connection);
  } catch (const kvt710::Error& e) {
    throw CommandError{kvt710::cli::kExitDatabase, "Creating the tables failed: " + e.description()};
  }
  std::cout << "The ten tables and their indexes are in place.\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"kvt710: write shop customer records into the shop's database"};
  app.require_subcommand(1);

  std::string script_file;
  CLI::App* script = app.add_subcommand("script", "Replay a host's calls from a JSON-lines script");
  script->add_option("FILE", script_file, "Script file, or - for standard input")->required();

  std::optional<std::string> init_db;
  CLI::App* init = app.add_subcommand("init", "Create the ten tables with their keys and indexes");
  init->add_option("--db", init_db, "Connection string (default: the one the settings name)");

  CLI11_PARSE(app, argc, argv);
  kvt710::RegisterServer();

  try {
    if (*script) return RunScriptFile(script_file);
    if (*init) return Init(init_db);
  } catch (const CommandError& e) {
    std::cerr << "kvt710: " << e.message << "\n";
    return e.exit_code;
  } catch (const kvt710::Error& e) {
    std::cerr << "kvt710: " << e.description() << "\n";
    return kvt710::cli::kExitFailed;
  }
  return 0;
}
