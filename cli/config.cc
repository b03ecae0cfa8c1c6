#include "cli/config.h"

#include <filesystem>
#include <iostream>

#include "cli/common.h"
#include "platform/automation/error.h"
#include "platform/db/connection_string.h"
#include "platform/settings/settings.h"
#include "policy/area.h"

namespace kvt710::cli {
namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool IsPasswordKey(const std::string& key) {
  const std::string lower = Lower(key);
  return lower.find("password") != std::string::npos || lower.find("passwd") != std::string::npos ||
         lower.find("pwd") != std::string::npos || lower.find("secret") != std::string::npos;
}

std::string Where(const Settings& settings, const std::string& section) {
  return settings.file().string() + " [" + section + "]";
}

}  // namespace

std::string MaskSetting(const std::string& key, const std::string& value) {
  if (value.empty()) return value;
  if (IsPasswordKey(key)) return "********";
  if (value.find('=') != std::string::npos || value.find("://") != std::string::npos)
    return db::RedactConnectionString(value);
  return value;
}

int ConfigGet(const std::string& section, const std::string& key, bool reveal, std::ostream& out) {
  const Settings settings = Settings::ForApp();
  std::optional<std::string> value = settings.Find(section, key);
  if (!value) {
    std::cerr << "kvt710: " << key << " is not set in " << Where(settings, section)
              << " (kvt710 config set " << key << " VALUE)\n";
    return kExitFailed;
  }
  out << (reveal ? *value : MaskSetting(key, *value)) << "\n";
  return kExitOk;
}

int ConfigSet(const std::string& section, const std::string& key, const std::string& value,
              std::ostream& out) {
  const Settings settings = Settings::ForApp();
  try {
    settings.Set(section, key, value);
  } catch (const Error& e) {
    throw CommandError{kExitConfig, "Cannot save the setting: " + e.description()};
  }
  out << key << "=" << MaskSetting(key, value) << " saved in " << Where(settings, section) << "\n";
  // Hints for the values the component reads, after the value is saved.
  const std::string lower = Lower(key);
  if (section == kCommonSection && lower == "area" &&
      !policy::ConnectionKeyOfArea(value, policy::AreaReader::kBatchObject))
    std::cerr << "kvt710: note: the batch object reads area 1 (DBPARMC) or 2 (DBPARMS) exactly\n";
  if (section == kCommonSection && (lower == "dbparmc" || lower == "dbparms") && !value.empty()) {
    try {
      db::ParseConnectionString(value);
    } catch (const Error& e) {
      std::cerr << "kvt710: note: this is not a connection string that can be opened: "
                << e.description() << "\n";
    }
  }
  return kExitOk;
}

int ConfigList(const std::string& section, std::ostream& out) {
  const Settings settings = Settings::ForApp();
  std::error_code ec;
  const bool exists = std::filesystem::exists(settings.file(), ec);
  out << "# " << Where(settings, section) << (exists ? "" : " (no file yet)") << "\n";
  for (const auto& [key, value] : settings.List(section))
    out << key << "=" << MaskSetting(key, value) << "\n";
  return kExitOk;
}

int ConfigPath(std::ostream& out) {
  out << Settings::ForApp().file().string() << "\n";
  return kExitOk;
}

}  // namespace kvt710::cli
