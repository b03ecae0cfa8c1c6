// `kvt710 config get|set|list|path`: the per-user settings that the
// component reads ("area", "DBPARMC", "DBPARMS" in [QTMS\Common]; system
// parameters in [PRW520\SysParm]). Passwords are never printed back.
#pragma once

#include <iosfwd>
#include <string>

namespace kvt710::cli {

// `value` as it may be shown: a key named like a password shows stars, a
// connection string its password replaced by "***".
std::string MaskSetting(const std::string& key, const std::string& value);

// Prints the value (masked unless `reveal`); 1 when the key is not set.
int ConfigGet(const std::string& section, const std::string& key, bool reveal, std::ostream& out);
// Stores the value and says where; prints it masked.
int ConfigSet(const std::string& section, const std::string& key, const std::string& value,
              std::ostream& out);
// The file's path and section, then every key=value of the section, masked.
int ConfigList(const std::string& section, std::ostream& out);
// The settings file's path.
int ConfigPath(std::ostream& out);

}  // namespace kvt710::cli
