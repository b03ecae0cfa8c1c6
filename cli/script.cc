#include "cli/script.h"

#include <cstring>
#include <istream>
#include <map>
#include <ostream>
#include <string>

#include "cli/common.h"
#include "cli/input.h"
#include "cli/json_values.h"
#include "platform/automation/registry.h"

namespace kvt710::cli {
namespace {

using nlohmann::json;

template <class Json>
std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

class Script {
 public:
  explicit Script(std::ostream& out) : out_(out) {}

  // Runs one step; returns false when it failed.
  bool Step(const std::string& line) {
    json result;
    bool ok = true;
    try {
      json step = ParseLine(line);
      if (!step.is_object()) throw Error(err::kTypeMismatch, "A step is a JSON object");
      result = Run(step);
      result["ok"] = true;
    } catch (const json::exception& e) {
      ok = false;
      result = {{"ok", false},
                {"error", ErrorJson(Error(err::kTypeMismatch, std::string("Bad step: ") + e.what(),
                                          "kvt710 script"))}};
    } catch (const Error& e) {
      ok = false;
      result = {{"ok", false}, {"error", ErrorJson(e)}};
    } catch (const std::exception& e) {
      ok = false;
      result = {{"ok", false},
                {"error", ErrorJson(Error(err::kInternal, e.what(), "kvt710 script"))}};
    }
    PrintResult(result);
    return ok;
  }

  // A step that could not be read.
  void Fail(const Error& error) { PrintResult({{"ok", false}, {"error", ErrorJson(error)}}); }

  template <class Json>
  void Print(const Json& line) {
    out_ << Dump(line) << std::endl;
  }

 private:
  void PrintResult(const json& result) {
    // "ok" first, as the step table shows it.
    nlohmann::ordered_json ordered;
    ordered["ok"] = result.at("ok");
    for (auto& [key, value] : result.items())
      if (key != "ok") ordered[key] = value;
    Print(ordered);
  }

  json Run(const json& step) {
    if (step.contains("create")) {
      std::string name = step.at("as").get<std::string>();
      objects_[name] = CreateObject(step["create"].get<std::string>());
      return json::object();
    }
    if (step.contains("release")) {
      objects_.erase(step["release"].get<std::string>());
      return json::object();
    }
    if (step.contains("get")) {
      auto [object, member] = Target(step["get"]);
      std::vector<Variant> args = Args(step);
      return {{"result", ToJson(object->Invoke(member, InvokeKind::kPropertyGet, args))}};
    }
    if (step.contains("put")) {
      auto [object, member] = Target(step["put"]);
      std::vector<Variant> args = Args(step);
      args.push_back(Value(step.at("value")));
      object->Invoke(member, InvokeKind::kPropertyPut, args);
      return json::object();
    }
    if (step.contains("putref")) {
      auto [object, member] = Target(step["putref"]);
      const json& name = step.at("object");
      std::vector<Variant> args = {name.is_null()
                                       ? Variant::Object(nullptr)
                                       : Variant::Object(Lookup(name.get<std::string>()))};
      object->Invoke(member, InvokeKind::kPropertyPutRef, args);
      return json::object();
    }
    if (step.contains("call")) {
      auto [object, member] = Target(step["call"]);
      std::vector<Variant> args = Args(step);
      Variant value = object->Invoke(member, InvokeKind::kMethod, args);
      json out = json::object();
      if (step.contains("as") && value.IsObject()) {
        objects_[step["as"].get<std::string>()] = value.ToObject();
        out["result"] = {{"object", true}};
      } else {
        out["result"] = ToJson(value);
      }
      json byref = json::object();
      for (size_t i = 0; i < args.size(); ++i)
        if (args[i].IsArray()) byref[std::to_string(i)] = ToJson(args[i]);
      if (!byref.empty()) out["byref"] = byref;
      return out;
    }
    throw Error(err::kInvalidCall,
                "Unknown step: expected create, get, put, putref, call or release",
                "kvt710 script");
  }

  std::pair<std::shared_ptr<Dispatch>, std::string> Target(const json& path) {
    std::string text = path.get<std::string>();
    size_t dot = text.find('.');
    if (dot == std::string::npos)
      throw Error(err::kInvalidCall, "A target is OBJECT.MEMBER: " + text, "kvt710 script");
    return {Lookup(text.substr(0, dot)), text.substr(dot + 1)};
  }

  std::shared_ptr<Dispatch> Lookup(const std::string& name) {
    auto it = objects_.find(name);
    if (it == objects_.end() || !it->second)
      throw Error(err::kObjectRequired, "Object required: " + name, "kvt710 script");
    return it->second;
  }

  Variant Value(const json& value) {
    return ToVariant(value, [this](const std::string& name) { return Lookup(name); });
  }

  std::vector<Variant> Args(const json& step) {
    std::vector<Variant> args;
    if (step.contains("args"))
      for (const json& value : step["args"]) args.push_back(Value(value));
    return args;
  }

  std::ostream& out_;
  std::map<std::string, std::shared_ptr<Dispatch>> objects_;
};

}  // namespace

int RunScript(LineReader& lines, std::ostream& out) {
  Script script(out);
  auto listening = ListenForReports([&script](const Report& r) {
    script.Print(json{{"report", ReportJson(r)}});
  });
  int failed = 0;
  LineReader::Line line;
  for (;;) {
    try {
      if (!lines.Next(line)) break;
    } catch (const ReadError& e) {
      throw CommandError{kExitDatabase, "The script stopped at line " +
                                            std::to_string(lines.lines() + 1) +
                                            ": reading it failed (" + std::strerror(e.error) + ")"};
    }
    if (line.too_long) {
      script.Fail(Error(err::kOutOfMemory,
                        "Line " + std::to_string(line.number) + " has more than " +
                            std::to_string(lines.max_line_bytes()) + " bytes",
                        "kvt710 script"));
      ++failed;
      continue;
    }
    if (line.text.find_first_not_of(" \t") == std::string::npos) continue;
    if (!script.Step(line.text)) ++failed;
  }
  return failed;
}

int RunScript(std::istream& in, std::ostream& out) {
  LineReader lines(StreamSource(in));
  return RunScript(lines, out);
}

}  // namespace kvt710::cli
