#include "platform/automation/registry.h"

#include <mutex>
#include <unordered_map>

namespace kvt710 {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

Error CannotCreate(std::string_view prog_id) {
  return Error(err::kCannotCreate, "Cannot create object: " + std::string(prog_id));
}

}  // namespace

struct ObjectRegistry::Impl {
  std::mutex mutex;
  std::unordered_map<std::string, Factory> factories;
};

ObjectRegistry::ObjectRegistry() : impl_(std::make_shared<Impl>()) {}

ObjectRegistry& ObjectRegistry::Default() {
  // Never destroyed: objects may be created while the process exits.
  static ObjectRegistry* registry = new ObjectRegistry();
  return *registry;
}

ObjectRegistry::Factory ObjectRegistry::Register(const std::string& prog_id, Factory factory) {
  std::lock_guard lock(impl_->mutex);
  Factory& slot = impl_->factories[Lower(prog_id)];
  Factory previous = std::move(slot);
  slot = std::move(factory);
  if (!slot) impl_->factories.erase(Lower(prog_id));
  return previous;
}

std::shared_ptr<Dispatch> ObjectRegistry::Create(std::string_view prog_id) const {
  Factory factory;
  {
    std::lock_guard lock(impl_->mutex);
    auto it = impl_->factories.find(Lower(prog_id));
    if (it != impl_->factories.end()) factory = it->second;
  }
  if (!factory) throw CannotCreate(prog_id);
  std::shared_ptr<Dispatch> object;
  try {
    object = factory();
  } catch (const Error& e) {
    if (e.number() == err::kCannotCreate) throw;
    throw Error(err::kCannotCreate, e.description(), e.source());
  } catch (...) {
    throw CannotCreate(prog_id);
  }
  if (!object) throw CannotCreate(prog_id);
  return object;
}

std::shared_ptr<Dispatch> CreateObject(std::string_view prog_id) {
  return ObjectRegistry::Default().Create(prog_id);
}

}  // namespace kvt710
