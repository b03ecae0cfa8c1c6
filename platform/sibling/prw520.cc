#include "platform/sibling/prw520.h"

#include <mutex>
#include <optional>
#include <utility>

#include "platform/settings/settings.h"

namespace kvt710 {

namespace {

// The process-wide listeners. Deliveries are serialized so that every
// listener sees reports in one order; the lock is recursive because a
// listener may itself cause a report.
struct Listeners {
  std::mutex mutex;
  std::recursive_mutex delivery;
  uint64_t next_id = 1;
  std::vector<std::pair<uint64_t, std::shared_ptr<ReportListener>>> list;

  static Listeners& Get() {
    static Listeners* listeners = new Listeners();
    return *listeners;
  }

  void Deliver(const Report& report) {
    std::lock_guard order(delivery);
    std::vector<std::shared_ptr<ReportListener>> snapshot;
    {
      std::lock_guard lock(mutex);
      for (const auto& entry : list) snapshot.push_back(entry.second);
    }
    for (const auto& listener : snapshot) (*listener)(report);
  }
};

class Subscription {
 public:
  explicit Subscription(uint64_t id) : id(id) {}
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() {
    Listeners& listeners = Listeners::Get();
    std::lock_guard lock(listeners.mutex);
    std::erase_if(listeners.list, [this](const auto& entry) { return entry.first == id; });
  }

 private:
  uint64_t id;
};

// "PRW520.PRW520C1".
class ErrorReporter : public Dispatch {
 public:
  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override {
    return GuardInvoke([&] { return Table().Invoke(*this, member, kind, args); });
  }

 private:
  static const DispatchTable<ErrorReporter>& Table() {
    static const DispatchTable<ErrorReporter> table({
        {"ErrObject", InvokeKind::kPropertyGet,
         [](ErrorReporter& self, Args&) { return Variant::Object(self.error_object_); }},
        {"ErrObject", InvokeKind::kPropertyPutRef,
         [](ErrorReporter& self, Args& args) {
           self.SetErrObject(args.Object(args.size() - 1));
           return Variant();
         }},
        {"DBERRDSP",
         InvokeKind::kMethod,
         [](ErrorReporter& self, Args& args) {
           self.DBERRDSP(args);
           return Variant();
         },
         {"ErrCode", "Errors", "Reserved", "Source"}},
    });
    return table;
  }

  void SetErrObject(std::shared_ptr<Dispatch> error) {
    error_object_ = std::move(error);
    error_number_ = 0;
    error_description_.clear();
    error_source_.clear();
    if (!error_object_) return;
    error_number_ = error_object_->Get("Number").ToLong();
    error_description_ = error_object_->Get("Description").ToString();
    error_source_ = error_object_->Get("Source").ToString();
  }

  void DBERRDSP(Args& args) {
    Report report;
    report.code = args.Raw(0);
    report.source = args.String(3);
    report.error_number = error_number_;
    report.error_description = error_description_;
    report.error_source = error_source_;
    if (args.Given(1)) {
      if (std::shared_ptr<Dispatch> errors = args.Object(1)) {
        const int32_t count = errors->Get("Count").ToLong();
        for (int32_t i = 0; i < count; ++i) {
          std::vector<Variant> index{Variant::Long(i)};
          std::shared_ptr<Dispatch> item =
              errors->Invoke("Item", InvokeKind::kPropertyGet, index).ToObject();
          if (!item) throw Error(err::kObjectRequired, "Object required: Item");
          report.errors.push_back(
              {item->Get("Number").ToLong(), item->Get("Description").ToString(),
               item->Get("SQLState").ToString(), item->Get("Source").ToString()});
        }
      }
    }
    Listeners::Get().Deliver(report);
  }

  std::shared_ptr<Dispatch> error_object_;
  int32_t error_number_ = 0;
  std::string error_description_;
  std::string error_source_;
};

// "PRW520.PRW520C2": parameters from the settings section [PRW520\SysParm].
class SystemParameters : public Dispatch {
 public:
  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override {
    return GuardInvoke([&] { return Table().Invoke(*this, member, kind, args); });
  }

 private:
  static const DispatchTable<SystemParameters>& Table() {
    static const DispatchTable<SystemParameters> table({
        {"GetSysParm",
         InvokeKind::kMethod,
         [](SystemParameters& self, Args& args) {
           std::optional<std::string> value =
               Settings::ForApp().Find(kSysParmSection, std::to_string(args.Long(0)));
           self.naiyo_ = value.value_or(std::string());
           return Variant::Long(value ? 0 : 1);
         },
         {"ParmNo"}},
        {"NAIYO", InvokeKind::kPropertyGet,
         [](SystemParameters& self, Args&) { return Variant::String(self.naiyo_); }},
    });
    return table;
  }

  std::string naiyo_;
};

// The error object handed to ErrObject.
class ErrorObject : public Dispatch {
 public:
  explicit ErrorObject(const Error& error)
      : number_(error.number()), description_(error.description()), source_(error.source()) {}

  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override {
    return GuardInvoke([&] { return Table().Invoke(*this, member, kind, args); });
  }

 private:
  static const DispatchTable<ErrorObject>& Table() {
    static const DispatchTable<ErrorObject> table({
        {"Number", InvokeKind::kPropertyGet,
         [](ErrorObject& self, Args&) { return Variant::Long(self.number_); }},
        {"Number", InvokeKind::kPropertyPut,
         [](ErrorObject& self, Args& args) {
           self.number_ = args.Long(args.size() - 1);
           return Variant();
         }},
        {"Description", InvokeKind::kPropertyGet,
         [](ErrorObject& self, Args&) { return Variant::String(self.description_); }},
        {"Description", InvokeKind::kPropertyPut,
         [](ErrorObject& self, Args& args) {
           self.description_ = args.String(args.size() - 1);
           return Variant();
         }},
        {"Source", InvokeKind::kPropertyGet,
         [](ErrorObject& self, Args&) { return Variant::String(self.source_); }},
        {"Source", InvokeKind::kPropertyPut,
         [](ErrorObject& self, Args& args) {
           self.source_ = args.String(args.size() - 1);
           return Variant();
         }},
    });
    return table;
  }

  int32_t number_;
  std::string description_;
  std::string source_;
};

}  // namespace

std::shared_ptr<void> ListenForReports(ReportListener listener) {
  Listeners& listeners = Listeners::Get();
  std::lock_guard lock(listeners.mutex);
  const uint64_t id = listeners.next_id++;
  listeners.list.emplace_back(id, std::make_shared<ReportListener>(std::move(listener)));
  return std::make_shared<Subscription>(id);
}

std::shared_ptr<Dispatch> CreateErrorReporter() {
  return std::make_shared<ErrorReporter>();
}

std::shared_ptr<Dispatch> CreateSystemParameters() {
  return std::make_shared<SystemParameters>();
}

std::shared_ptr<Dispatch> MakeErrorObject(const Error& error) {
  return std::make_shared<ErrorObject>(error);
}

void ReportError(Dispatch& reporter, const Error& error, const Variant& code,
                 const std::shared_ptr<Dispatch>& errors, const std::string& source) {
  reporter.PutRef("ErrObject", Variant::Object(MakeErrorObject(error)));
  reporter.Call("DBERRDSP", {code, errors ? Variant::Object(errors) : Variant::Null(),
                             Variant::Missing(), Variant::String(source)});
}

}  // namespace kvt710
