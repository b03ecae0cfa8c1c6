// Dispatch: the late-bound interface of every creatable object. A member is
// called by name (case-insensitive) with its kind and its arguments in call
// order; by-reference arguments are written back into `args`.
//
// Failures are thrown as kvt710::Error with automation's numbers: 438 for an
// unknown member, 449 for a required argument that was omitted, 13 for an
// argument that does not convert to its parameter's type.
//
// DispatchTable<T> turns a table of named members into an Invoke for the
// typed class T: the late-bound binding of a class is one such table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation/error.h"
#include "platform/automation/safe_array.h"
#include "platform/automation/variant.h"

namespace kvt710 {

enum class InvokeKind { kMethod, kPropertyGet, kPropertyPut, kPropertyPutRef };

class Dispatch {
 public:
  virtual ~Dispatch() = default;

  // Calls `member`. For property assignments the assigned value is the last
  // element of `args`. Throws kvt710::Error only.
  virtual Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) = 0;

  // Convenience forms for C++ callers of late-bound objects.
  Variant Call(std::string_view member, std::vector<Variant> args = {});
  Variant Get(std::string_view member);
  void Put(std::string_view member, Variant value);
  void PutRef(std::string_view member, Variant object);
};

// ASCII case-insensitive equality of member and field names.
bool NamesEqual(std::string_view a, std::string_view b);

// The arguments of one call, with automation's conversion to each parameter.
class Args {
 public:
  Args(std::string_view member, std::vector<Variant>& args) : member_(member), args_(args) {}

  size_t size() const { return args_.size(); }
  bool Given(size_t i) const { return i < args_.size() && !args_[i].IsMissing(); }
  // Required parameters: 449 when omitted, 13 when not convertible.
  std::string String(size_t i) const;
  int32_t Long(size_t i) const;
  int16_t Integer(size_t i) const;
  double Double(size_t i) const;
  bool Bool(size_t i) const;
  std::shared_ptr<SafeArray> Array(size_t i) const;
  std::shared_ptr<Dispatch> Object(size_t i) const;  // nullptr for an empty reference
  const Variant& Raw(size_t i) const;
  // Optional parameters: the default when omitted.
  std::string OptString(size_t i, std::string fallback = {}) const;
  int32_t OptLong(size_t i, int32_t fallback) const;
  int16_t OptInteger(size_t i, int16_t fallback) const;

 private:
  const Variant& Required(size_t i) const;

  std::string_view member_;
  std::vector<Variant>& args_;
};

template <class T>
class DispatchTable {
 public:
  using Handler = std::function<Variant(T&, Args&)>;
  struct Member {
    std::string name;
    InvokeKind kind;
    Handler handler;
  };

  explicit DispatchTable(std::vector<Member> members) : members_(std::move(members)) {}

  Variant Invoke(T& object, std::string_view member, InvokeKind kind,
                 std::vector<Variant>& args) const {
    bool name_known = false;
    for (const Member& m : members_) {
      if (!NamesEqual(m.name, member)) continue;
      name_known = true;
      // A method without arguments may also be read like a property.
      bool kind_fits = m.kind == kind || (m.kind == InvokeKind::kMethod &&
                                          kind == InvokeKind::kPropertyGet) ||
                       (m.kind == InvokeKind::kPropertyGet && kind == InvokeKind::kMethod &&
                        args.empty()) ||
                       (m.kind == InvokeKind::kPropertyPutRef && kind == InvokeKind::kPropertyPut);
      if (!kind_fits) continue;
      Args wrapped(m.name, args);
      return m.handler(object, wrapped);
    }
    throw Error(err::kUnknownMember,
                std::string(name_known ? "Invalid use of property: " :
                                         "Object doesn't support this property or method: ") +
                    std::string(member));
  }

 private:
  std::vector<Member> members_;
};

// Runs `body`, turning any exception other than kvt710::Error into one, so
// that nothing else leaves a public member.
Variant GuardInvoke(const std::function<Variant()>& body);

}  // namespace kvt710
