#include "platform/db/errors.h"

#include <memory>

namespace kvt710::db {
namespace {

// One entry of the list as a late-bound object (ADO's Error).
class ErrorItem : public Dispatch {
 public:
  explicit ErrorItem(ProviderError error) : error_(std::move(error)) {}

  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override {
    static const DispatchTable<ErrorItem> table({
        {"Number", InvokeKind::kPropertyGet,
         [](ErrorItem& e, Args&) { return Variant::Long(e.error_.number); }},
        {"NativeError", InvokeKind::kPropertyGet,
         [](ErrorItem& e, Args&) { return Variant::Long(e.error_.number); }},
        {"Description", InvokeKind::kPropertyGet,
         [](ErrorItem& e, Args&) { return Variant::String(e.error_.description); }},
        {"SQLState", InvokeKind::kPropertyGet,
         [](ErrorItem& e, Args&) { return Variant::String(e.error_.sqlstate); }},
        {"Source", InvokeKind::kPropertyGet,
         [](ErrorItem& e, Args&) { return Variant::String(e.error_.source); }},
    });
    return table.Invoke(*this, member, kind, args);
  }

 private:
  ProviderError error_;
};

Variant ItemAt(Errors& errors, Args& args) {
  const int32_t index = args.Long(0);
  if (index < 0 || static_cast<size_t>(index) >= errors.list().size()) {
    throw Error(kErrItemNotFound,
                "Item cannot be found in the collection corresponding to the requested ordinal",
                "ADODB.Errors");
  }
  return Variant::Object(std::make_shared<ErrorItem>(errors.list()[static_cast<size_t>(index)]));
}

}  // namespace

std::string WithoutSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (size_t pos = text.find(secret); pos != std::string::npos; pos = text.find(secret, pos + 3))
    text.replace(pos, secret.size(), "***");
  return text;
}

Variant Errors::Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) {
  static const DispatchTable<Errors> table({
      {"Count", InvokeKind::kPropertyGet,
       [](Errors& e, Args&) { return Variant::Long(static_cast<int32_t>(e.list().size())); }},
      {"Item", InvokeKind::kMethod, ItemAt, {"Index"}},
      {"", InvokeKind::kMethod, ItemAt, {"Index"}},  // the default member: Errors(i)
      {"Clear", InvokeKind::kMethod,
       [](Errors& e, Args&) {
         e.Clear();
         return Variant();
       }},
  });
  return table.Invoke(*this, member, kind, args);
}

}  // namespace kvt710::db
