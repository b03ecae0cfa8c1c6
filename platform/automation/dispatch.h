// Dispatch: the late-bound interface of every creatable object. A member is
// called by name (case-insensitive) with its kind and its arguments in call
// order; by-reference arguments are written back into `args`.
//
// Failures are thrown as kvt710::Error with automation's numbers: 438 for an
// unknown member, 449 for a required argument that was omitted, 450 for more
// arguments than the member has parameters, 13 for an argument that does not
// convert to its parameter's type.
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
#include "platform/text/ascii.h"

namespace kvt710 {

enum class InvokeKind { kMethod, kPropertyGet, kPropertyPut, kPropertyPutRef };

class Dispatch {
 public:
  virtual ~Dispatch() = default;

  // Calls `member`. For property assignments the assigned value is the last
  // element of `args`. Throws kvt710::Error only.
  virtual Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) = 0;

  // The parameter names of a method in call order, for callers that name
  // their arguments; empty when the object does not publish them.
  virtual std::vector<std::string> ParameterNames(std::string_view member) const;

  // Convenience forms for C++ callers of late-bound objects.
  Variant Call(std::string_view member, std::vector<Variant> args = {});
  Variant Get(std::string_view member);
  void Put(std::string_view member, Variant value);
  void PutRef(std::string_view member, Variant object);
};

// Error 450: a call with more arguments than `member` takes; nothing has run.
[[noreturn]] void ThrowWrongArgCount(std::string_view member);

// The arguments of one call, with automation's conversion to each parameter.
class Args {
 public:
  // `parameters`, when given, names the arguments in errors.
  Args(std::string_view member, std::vector<Variant>& args,
       const std::vector<std::string>* parameters = nullptr)
      : member_(member), args_(args), parameters_(parameters) {}

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
  const std::vector<std::string>* parameters_;
};

template <class T>
class DispatchTable {
 public:
  using Handler = std::function<Variant(T&, Args&)>;
  struct Member {
    Member(std::string member_name, InvokeKind member_kind, Handler member_handler,
           std::vector<std::string> parameter_names = {})
        : name(std::move(member_name)),
          kind(member_kind),
          handler(std::move(member_handler)),
          parameters(std::move(parameter_names)) {}

    std::string name;
    InvokeKind kind;
    Handler handler;
    // Parameter names in call order: a call with more arguments is refused
    // (a property assignment adds the assigned value).
    std::vector<std::string> parameters;
  };

  explicit DispatchTable(std::vector<Member> members) : members_(std::move(members)) {}

  Variant Invoke(T& object, std::string_view member, InvokeKind kind,
                 std::vector<Variant>& args) const {
    bool name_known = false;
    for (const Member& m : members_) {
      if (!text::EqualsIgnoreCase(m.name, member)) continue;
      name_known = true;
      // A method without arguments may also be read like a property.
      bool kind_fits =
          m.kind == kind || (m.kind == InvokeKind::kMethod && kind == InvokeKind::kPropertyGet) ||
          (m.kind == InvokeKind::kPropertyGet && kind == InvokeKind::kMethod && args.empty()) ||
          (m.kind == InvokeKind::kPropertyPutRef && kind == InvokeKind::kPropertyPut);
      if (!kind_fits) continue;
      const bool assigns = kind == InvokeKind::kPropertyPut || kind == InvokeKind::kPropertyPutRef;
      if (args.size() > m.parameters.size() + (assigns ? 1 : 0)) ThrowWrongArgCount(m.name);
      Args wrapped(m.name, args, &m.parameters);
      return m.handler(object, wrapped);
    }
    throw Error(err::kUnknownMember,
                std::string(name_known ? "Invalid use of property: "
                                       : "Object doesn't support this property or method: ") +
                    std::string(member));
  }

  // The parameter names of the method `member`, or empty.
  std::vector<std::string> ParameterNames(std::string_view member) const {
    for (const Member& m : members_)
      if (m.kind == InvokeKind::kMethod && text::EqualsIgnoreCase(m.name, member))
        return m.parameters;
    return {};
  }

 private:
  std::vector<Member> members_;
};

namespace err {
constexpr int32_t kNamedArgumentNotFound = 448;  // named argument not found
}

// One argument given by parameter name.
struct NamedArg {
  std::string name;
  Variant value;
};

// Places named arguments at the positions of `parameters` (names compare
// case-insensitively); a parameter that is not named is Missing, so a
// required one then fails with 449 when the member runs. Throws 448 naming
// an argument that is no parameter of `member` and listing those it has, 5
// for a name given twice.
std::vector<Variant> ArrangeNamedArgs(std::string_view member,
                                      const std::vector<std::string>& parameters,
                                      std::vector<NamedArg> named);

// Calls the method `member` of `object` with named arguments, in the order
// that object.ParameterNames(member) gives.
Variant CallNamed(Dispatch& object, std::string_view member, std::vector<NamedArg> named);

// Runs `body`, turning any exception other than kvt710::Error into one, so
// that nothing else leaves a public member.
Variant GuardInvoke(const std::function<Variant()>& body);

}  // namespace kvt710
