#include "platform/db/schema.h"

#include <sstream>

#include "platform/text/ascii.h"

namespace kvt710::db {

std::vector<std::string> SplitSchemaScript(const std::string& script_text) {
  std::vector<std::string> statements;
  std::string current;
  std::istringstream lines(script_text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string trimmed(text::TrimAsciiSpace(line));
    if (trimmed.empty() || trimmed.starts_with("--")) continue;
    if (trimmed.ends_with(";")) {
      current += trimmed.substr(0, trimmed.size() - 1);
      const std::string statement(text::TrimAsciiSpace(current));
      if (!statement.empty()) statements.push_back(statement);
      current.clear();
    } else {
      current += trimmed + "\n";
    }
  }
  const std::string rest(text::TrimAsciiSpace(current));
  if (!rest.empty()) statements.push_back(rest);
  return statements;
}

void ApplySchema(Connection& connection, const std::string& script_text) {
  for (const std::string& statement : SplitSchemaScript(script_text)) connection.Execute(statement);
}

}  // namespace kvt710::db
