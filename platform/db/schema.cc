#include "platform/db/schema.h"

#include <sstream>

namespace kvt710::db {
namespace {

std::string TrimBlanks(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::vector<std::string> SplitSchemaScript(const std::string& script_text) {
  std::vector<std::string> statements;
  std::string current;
  std::istringstream lines(script_text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.starts_with("--")) continue;
    if (trimmed.ends_with(";")) {
      current += trimmed.substr(0, trimmed.size() - 1);
      const std::string statement = TrimBlanks(current);
      if (!statement.empty()) statements.push_back(statement);
      current.clear();
    } else {
      current += trimmed + "\n";
    }
  }
  const std::string rest = TrimBlanks(current);
  if (!rest.empty()) statements.push_back(rest);
  return statements;
}

void ApplySchema(Connection& connection, const std::string& script_text) {
  for (const std::string& statement : SplitSchemaScript(script_text)) connection.Execute(statement);
}

}  // namespace kvt710::db
