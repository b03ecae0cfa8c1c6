#include "cli/command_line.h"

#include <cstdint>
#include <iostream>
#include <optional>

#include <CLI/CLI.hpp>

#include "cli/check.h"
#include "cli/common.h"
#include "cli/config.h"
#include "cli/delete.h"
#include "cli/demo.h"
#include "cli/import.h"
#include "cli/input.h"
#include "cli/methods.h"
#include "cli/script.h"
#include "cli/show.h"
#include "component/server.h"
#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"
#include "platform/settings/settings.h"
#include "platform/text/nearest.h"

namespace {

using kvt710::cli::CommandError;

int RunScriptFile(const std::string& file) {
  const kvt710::cli::InputFile input(file);
  kvt710::cli::LineReader lines(kvt710::cli::FileSource(input.fd()));
  return kvt710::cli::RunScript(lines, std::cout) == 0 ? 0 : 1;
}

int Init(const std::optional<std::string>& db) {
  std::string connection_string = kvt710::cli::ResolveConnectionString(db);
  auto connection = kvt710::cli::OpenDatabase(connection_string, kvt710::cli::Access::kCreate);
  try {
    kvt710::db::CreateProductSchema(*connection);
  } catch (const kvt710::Error& e) {
    throw CommandError{kvt710::cli::kExitDatabase,
                       "Creating the tables failed: " + e.description()};
  }
  std::cout << "The ten tables and their indexes are in place.\n";
  return 0;
}

constexpr const char* kDbHelp =
    "Connection string (Provider=SQLite;Data Source=PATH, Provider=PostgreSQL;Host=...;"
    "Database=..., postgresql://...) or the path of an SQLite file. Default: the connection "
    "string that the settings name (area 1: DBPARMC, 2: DBPARMS)";

constexpr const char* kFooter =
    "Exit codes: 0 done; 1 the work ran and something in it failed (a script step, a rejected "
    "customer, nothing found); 2 bad command line or unreadable input; 3 settings missing or "
    "wrong; 4 the database could not be reached or refused the work, or an import or script "
    "could not read its input or write its rejects part way; 130 or 143 an import stopped by "
    "Ctrl-C or SIGTERM.";

std::string VersionText() {
  std::string text = std::string("kvt710 ") + kvt710::LibraryVersion() + " (";
  const std::vector<std::string> libraries = kvt710::db::ClientLibraries();
  for (size_t i = 0; i < libraries.size(); ++i) text += (i > 0 ? ", " : "") + libraries[i];
  return text + ")";
}

// A word where `app` expects one of its commands that names none of them:
// refused naming the nearest command, rather than with CLI11's "A subcommand
// is required". Options and their values are left to the parser.
void CheckCommandWord(const CLI::App& app, const std::string& what, const std::string& word) {
  if (word.empty() || word.front() == '-') return;
  std::vector<std::string> names;
  for (const CLI::App* sub : app.get_subcommands({})) {
    if (sub->check_name(word)) return;
    names.push_back(sub->get_name());
  }
  std::string message = "unknown " + what + " '" + word + "'";
  const std::string nearest = kvt710::text::Nearest(word, names);
  if (!nearest.empty()) message += "; did you mean '" + nearest + "'?";
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  throw CommandError{kvt710::cli::kExitUsage, message + " (" + what + "s: " + list + ")"};
}

}  // namespace

int kvt710::cli::RunCommandLine(int argc, char** argv) {
  CLI::App app{
      "kvt710: writes a shop's customer records (customer master, maintenance, glasses, contact "
      "lenses, hearing aids, sales, comments) into its SQLite, PostgreSQL or ODBC database",
      "kvt710"};
  app.require_subcommand(1);
  app.footer(kFooter);
  app.set_version_flag("--version", VersionText,
                       "Print the version, and the database client libraries it runs with");

  std::string script_file;
  CLI::App* script =
      app.add_subcommand("script", "Replay a host's late-bound calls from a JSON-lines script");
  script->add_option("FILE", script_file, "Script file, or - for standard input")->required();

  std::optional<std::string> init_db;
  CLI::App* init = app.add_subcommand(
      "init",
      "Create the ten tables with their keys and indexes (again: no change), and the SQLite file "
      "when it is missing; no other command creates a database file except demo");
  init->add_option("--db", init_db, kDbHelp);

  std::string import_file;
  std::optional<std::string> import_db, import_rejects;
  kvt710::cli::ImportOptions import_options;
  CLI::App* import = app.add_subcommand(
      "import", "Load customers in bulk from JSON lines, one transaction a customer");
  import->footer(
      std::string("One customer document a line:\n"
                  "  {\"key\":\"1203\",\"calls\":[{\"SetBaseData\":{\"StoreCd\":\"001\",...}},"
                  "{\"SetG_BaseData\":{...}},...],\"delete\":false}\n"
                  "Each call is a writer or family method of the batch object with its arguments "
                  "named by its parameter names (any case); an omitted optional parameter is left "
                  "out; a one-dimensional array is a JSON array for indices 1 to n, a "
                  "two-dimensional one an array of rows. Then Execute(key), or DelExecute(key) "
                  "when \"delete\" is true. A customer that fails is rolled back and written to "
                  "the rejects, and the import goes on; importing the same file again gives the "
                  "same database. The import stops with exit code 4 when the database fails, the "
                  "input cannot be read or the rejects cannot be written; Ctrl-C or SIGTERM "
                  "stops it after the customer in flight (exit code 130 or 143) and names the "
                  "line to go on from. Either way the summary is printed and the rejects file "
                  "holds this run's rejects. kvt710 methods lists the methods and their "
                  "parameters.\n\n") +
      kFooter);
  import->add_option("FILE", import_file, "Customer file (JSON lines), or - for standard input")
      ->required();
  import->add_option("--db", import_db, kDbHelp);
  import->add_option("--rejects", import_rejects,
                     "File for the rejected customers: each input line with its errors and the "
                     "error reports, one JSON line each; replaced when the import ends, never "
                     "the input itself; - for standard output (the summary then goes to "
                     "standard error). Default: standard error");
  import
      ->add_option("--max-line-bytes", import_options.max_line_bytes,
                   "Longest line: a longer one is rejected by its line number, only its start "
                   "kept, and the import goes on")
      ->capture_default_str()
      ->check(CLI::Range(size_t{1}, size_t{1} << 30));
  import->add_flag("--check", import_options.check,
                   "Run every customer as an import would, the database's own checks included, "
                   "and roll each back: the rejects and the summary as for an import, nothing "
                   "stored");
  import->add_flag("--json", import_options.json,
                   "Print the summary as one JSON object (imported, rejected, retries, "
                   "statements, seconds, customers_per_second, lines_read, stopped, "
                   "checked_only, rejects)");

  std::optional<std::string> methods_name;
  bool methods_schema = false;
  CLI::App* methods = app.add_subcommand(
      "methods", "List the methods an import line may call, and each one's parameters");
  methods->footer(
      std::string("Without NAME: the writer and family methods with the table each writes. With "
                  "NAME: its parameters in call order, with type (text, number, array of n, "
                  "two-dimensional array), required or optional, and the columns each feeds. "
                  "--json-schema: a JSON Schema (draft 2020-12) of one import line, for a "
                  "validator or an editor.\n\n") +
      kFooter);
  methods->add_option("NAME", methods_name, "A method, such as SetBaseData (any case)");
  methods->add_flag("--json-schema", methods_schema, "Print a JSON Schema of one import line")
      ->excludes(methods->get_option("NAME"));

  std::optional<std::string> delete_key, delete_before, delete_store, delete_db;
  int16_t delete_transe = 0, delete_upd = 0;
  CLI::App* del = app.add_subcommand(
      "delete", "Mark customers deleted: one by key, or all last seen before a date");
  del->footer(
      std::string("Through the deletion service: each customer marked gets CUBS_DATA_FLG 2 "
                  "and its maintenance rows in CMENTE_T record the deletion (kind 2).\n\n") +
      kFooter);
  CLI::Option* key_option = del->add_option("--key", delete_key, "The customer's unique key");
  CLI::Option* before_option =
      del->add_option("--before", delete_before,
                      "Mark every live customer whose newest visit is before this date (yyyymmdd)");
  key_option->excludes(before_option);
  del->add_option("--transe-flg", delete_transe, "Transfer flag of the maintenance row (--key)")
      ->needs(key_option);
  del->add_option("--upd-flg", delete_upd, "Update flag of the maintenance row (--key)")
      ->needs(key_option);
  bool delete_dry_run = false;
  del->add_flag("--dry-run", delete_dry_run,
                "List the customers that --before would mark (key, store, newest visit); change "
                "nothing")
      ->needs(before_option);
  del->add_option("--store", delete_store, "Only customers of this store (--before)")
      ->needs(before_option);
  del->add_option("--db", delete_db, kDbHelp);

  std::string show_key;
  std::optional<std::string> show_db;
  CLI::App* show =
      app.add_subcommand("show", "Print one customer's rows of all ten tables as JSON");
  show->add_option("KEY", show_key, "The customer's unique key")->required();
  show->add_option("--db", show_db, kDbHelp);

  std::optional<std::string> check_db;
  CLI::App* check = app.add_subcommand(
      "check",
      "Check the database read-only: the ten tables, their keys and indexes there, the storage "
      "undamaged (SQLite); count live and deleted customers. Exit code 4 names each problem");
  check->add_option("--db", check_db, kDbHelp);

  CLI::App* config = app.add_subcommand(
      "config",
      "Read and change the per-user settings (area, DBPARMC, DBPARMS, system parameters)");
  config->footer(std::string("The values of [QTMS\\Common] by default; system parameters with "
                             "--section 'PRW520\\SysParm'. Passwords are never printed back.\n\n") +
                 kFooter);
  config->require_subcommand(1);
  std::string config_section = kvt710::kCommonSection, config_key, config_value;
  bool config_reveal = false;
  CLI::App* config_get = config->add_subcommand("get", "Print one value (passwords masked)");
  config_get->add_option("KEY", config_key, "The key, such as area or DBPARMC")->required();
  config_get->add_flag("--reveal", config_reveal, "Print the value exactly, password included");
  CLI::App* config_set = config->add_subcommand("set", "Store one value in the settings file");
  config_set->add_option("KEY", config_key, "The key, such as area or DBPARMC")->required();
  config_set->add_option("VALUE", config_value, "The value, stored exactly as given")->required();
  CLI::App* config_list = config->add_subcommand(
      "list", "Print the settings file's path and every value of a section (passwords masked)");
  CLI::App* config_path = config->add_subcommand("path", "Print the settings file's path");
  for (CLI::App* sub : {config_get, config_set, config_list})
    sub->add_option("--section", config_section, "Section of the settings file")
        ->capture_default_str();

  int64_t demo_customers = 200;
  uint64_t demo_seed = 1;
  std::optional<std::string> demo_db;
  CLI::App* demo = app.add_subcommand(
      "demo", "Try it out: import sample customers into a fresh SQLite file and show one");
  demo->footer(std::string("Generates customers with names, addresses, glasses, contact-lens and "
                           "hearing-aid records, sales, comments, families and some deletions, "
                           "imports them into ./kvt710-demo/shop.db (made afresh) or the database "
                           "of --db, then shows one customer and the import's summary.\n\n") +
               kFooter);
  demo->add_option("--customers", demo_customers, "Number of sample customer documents")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{1}, int64_t{10000000}));
  demo->add_option("--seed", demo_seed, "Seed: the same seed gives the same customers")
      ->capture_default_str();
  std::optional<std::string> demo_emit;
  demo->add_option("--emit", demo_emit,
                   "Write the sample customers as an import file to this path (- for standard "
                   "output) instead of importing them; no database is touched");
  demo->add_option("--db", demo_db,
                   "Fill this database instead (its tables are created when missing; customers "
                   "with the sample keys are overwritten)");

  try {
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (!words.empty()) CheckCommandWord(app, "command", words[0]);
    if (words.size() > 1 && words[0] == "config")
      CheckCommandWord(*config, "config command", words[1]);
    app.parse(argc, argv);
  } catch (const CommandError& e) {
    std::cerr << "kvt710: " << e.message << "\n";
    return e.exit_code;
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kvt710::cli::kExitUsage;
  }
  kvt710::RegisterServer();

  try {
    if (*script) return RunScriptFile(script_file);
    if (*init) return Init(init_db);
    if (*import)
      return kvt710::cli::ImportCommand(import_file, import_db, import_rejects, import_options,
                                        std::cout);
    if (*del) {
      if (delete_key)
        return kvt710::cli::DeleteByKeyCommand(*delete_key, delete_transe, delete_upd, delete_db,
                                               std::cout);
      if (delete_before)
        return kvt710::cli::DeleteBeforeCommand(*delete_before, delete_store, delete_db,
                                                delete_dry_run, std::cout);
      throw CommandError{kvt710::cli::kExitUsage,
                         "delete needs --key KEY or --before YYYYMMDD (kvt710 delete --help)"};
    }
    if (*methods) return kvt710::cli::MethodsCommand(methods_name, methods_schema, std::cout);
    if (*check) return kvt710::cli::CheckCommand(check_db, std::cout);
    if (*show) return kvt710::cli::ShowCommand(show_key, show_db, std::cout);
    if (*config_get)
      return kvt710::cli::ConfigGet(config_section, config_key, config_reveal, std::cout);
    if (*config_set)
      return kvt710::cli::ConfigSet(config_section, config_key, config_value, std::cout);
    if (*config_list) return kvt710::cli::ConfigList(config_section, std::cout);
    if (*config_path) return kvt710::cli::ConfigPath(std::cout);
    if (*demo)
      return kvt710::cli::DemoCommand(demo_customers, demo_db, demo_seed, demo_emit, std::cout);
  } catch (const CommandError& e) {
    std::cout.flush();
    std::cerr << "kvt710: " << e.message << "\n";
    return e.exit_code;
  } catch (const kvt710::Error& e) {
    std::cout.flush();
    std::cerr << "kvt710: " << e.description() << "\n";
    return kvt710::cli::kExitFailed;
  }
  return 0;
}
