#include "platform/automation/dispatch.h"
#include "platform/text/ascii.h"

#include <algorithm>
#include <new>

namespace kvt710 {

std::vector<std::string> Dispatch::ParameterNames(std::string_view /*member*/) const {
  return {};
}

Variant Dispatch::Call(std::string_view member, std::vector<Variant> args) {
  return Invoke(member, InvokeKind::kMethod, args);
}

Variant Dispatch::Get(std::string_view member) {
  std::vector<Variant> args;
  return Invoke(member, InvokeKind::kPropertyGet, args);
}

void Dispatch::Put(std::string_view member, Variant value) {
  std::vector<Variant> args{std::move(value)};
  Invoke(member, InvokeKind::kPropertyPut, args);
}

void Dispatch::PutRef(std::string_view member, Variant object) {
  std::vector<Variant> args{std::move(object)};
  Invoke(member, InvokeKind::kPropertyPutRef, args);
}

void ThrowWrongArgCount(std::string_view) {
  throw Error(err::kWrongArgCount, "Wrong number of arguments or invalid property assignment");
}

const Variant& Args::Required(size_t i) const {
  if (!Given(i)) {
    if (parameters_ != nullptr && i < parameters_->size())
      throw Error(err::kNotOptional, std::string(member_) + ": required parameter " +
                                         (*parameters_)[i] + " is missing");
    throw Error(err::kNotOptional, "Argument not optional: " + std::string(member_));
  }
  return args_[i];
}

const Variant& Args::Raw(size_t i) const {
  return Required(i);
}
std::string Args::String(size_t i) const {
  return Required(i).ToString();
}
int32_t Args::Long(size_t i) const {
  return Required(i).ToLong();
}
int16_t Args::Integer(size_t i) const {
  return Required(i).ToInteger();
}
double Args::Double(size_t i) const {
  return Required(i).ToDouble();
}
bool Args::Bool(size_t i) const {
  return Required(i).ToBool();
}
std::shared_ptr<SafeArray> Args::Array(size_t i) const {
  return Required(i).ToArray();
}
std::shared_ptr<Dispatch> Args::Object(size_t i) const {
  return Required(i).ToObject();
}

std::string Args::OptString(size_t i, std::string fallback) const {
  return Given(i) ? String(i) : fallback;
}

int32_t Args::OptLong(size_t i, int32_t fallback) const {
  return Given(i) ? Long(i) : fallback;
}

int16_t Args::OptInteger(size_t i, int16_t fallback) const {
  return Given(i) ? Integer(i) : fallback;
}

std::vector<Variant> ArrangeNamedArgs(std::string_view member,
                                      const std::vector<std::string>& parameters,
                                      std::vector<NamedArg> named) {
  std::vector<Variant> args(parameters.size(), Variant::Missing());
  std::vector<bool> given(parameters.size(), false);
  size_t used = 0;
  for (NamedArg& arg : named) {
    size_t position = 0;
    while (position < parameters.size() && !text::EqualsIgnoreCase(parameters[position], arg.name))
      ++position;
    if (position == parameters.size()) {
      std::string known;
      for (const std::string& parameter : parameters)
        known += (known.empty() ? "" : ", ") + parameter;
      throw Error(err::kNamedArgumentNotFound, std::string(member) + " has no parameter " +
                                                   arg.name + " (its parameters: " + known + ")");
    }
    if (given[position])
      throw Error(err::kInvalidCall, "Argument given twice: " + std::string(member) + "(" +
                                         parameters[position] + ")");
    given[position] = true;
    used = std::max(used, position + 1);
    args[position] = std::move(arg.value);
  }
  args.resize(used);  // trailing omitted arguments are simply not passed
  return args;
}

Variant CallNamed(Dispatch& object, std::string_view member, std::vector<NamedArg> named) {
  std::vector<Variant> args;
  if (!named.empty()) {
    std::vector<std::string> parameters = object.ParameterNames(member);
    if (parameters.empty())
      throw Error(err::kNamedArgumentNotFound,
                  "Named argument not found: " + std::string(member) +
                      " is no method of this object that takes named arguments");
    args = ArrangeNamedArgs(member, parameters, std::move(named));
  }
  return object.Invoke(member, InvokeKind::kMethod, args);
}

Variant GuardInvoke(const std::function<Variant()>& body) {
  try {
    return body();
  } catch (const Error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw Error(err::kOutOfMemory, "Out of memory");
  } catch (const std::exception& e) {
    throw Error(err::kInternal, e.what());
  } catch (...) {
    throw Error(err::kInternal, "Internal error");
  }
}

}  // namespace kvt710
