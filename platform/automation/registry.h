// The object registry: CreateObject by program identifier. Factories can be
// replaced (tests swap in a reporter that cannot be created, or a system
// parameter table). Thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/dispatch.h"

namespace kvt710 {

class ObjectRegistry {
 public:
  using Factory = std::function<std::shared_ptr<Dispatch>()>;

  // The process-wide registry that CreateObject uses. It starts empty: the
  // host registers the objects it may create before creating any.
  static ObjectRegistry& Default();

  // Registers or replaces the factory of `prog_id` (case-insensitive).
  // Returns the factory it replaced (empty when none), so a test can restore it.
  Factory Register(const std::string& prog_id, Factory factory);

  // Throws Error 429 when no factory is registered or the factory fails.
  std::shared_ptr<Dispatch> Create(std::string_view prog_id) const;

 private:
  struct Impl;
  ObjectRegistry();
  std::shared_ptr<Impl> impl_;
};

// ObjectRegistry::Default().Create(prog_id).
std::shared_ptr<Dispatch> CreateObject(std::string_view prog_id);

}  // namespace kvt710
