// Stand-ins for the sibling component's objects:
//   "PRW520.PRW520C1", the error reporter: ErrObject (assign the error being
//     handled), DBERRDSP(code, errors, [omitted], source). Each report is
//     recorded and handed to every listener at the moment it arrives.
//   "PRW520.PRW520C2", system parameters: GetSysParm(number) returns 0 when
//     the parameter exists in the settings section [PRW520\SysParm], and
//     NAIYO then reads its text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"

namespace kvt710 {

// One entry of a connection's error list as the reporter saw it.
struct ReportedProviderError {
  int32_t number = 0;
  std::string description;
  std::string sqlstate;
  std::string source;
};

struct Report {
  Variant code;  // "11002"/"11015" as text, or the 16-bit integer 11015
  std::string source;
  int32_t error_number = 0;  // the error object assigned to ErrObject
  std::string error_description;
  std::string error_source;
  std::vector<ReportedProviderError> errors;  // the error list at the time of the call
};

// Listeners receive every report of every reporter, in the order of arrival.
// The returned handle removes the listener when destroyed.
using ReportListener = std::function<void(const Report&)>;
std::shared_ptr<void> ListenForReports(ReportListener listener);

// Factories registered under the two program identifiers.
std::shared_ptr<Dispatch> CreateErrorReporter();
std::shared_ptr<Dispatch> CreateSystemParameters();

// An automation error object (Number, Description, Source) for ErrObject.
std::shared_ptr<Dispatch> MakeErrorObject(const Error& error);

// Reports `error` the way every error handler of the component does: assign
// ErrObject, then call DBERRDSP(code, errors, omitted, source). `errors` may
// be null when there is no connection whose list could be passed.
void ReportError(Dispatch& reporter, const Error& error, const Variant& code,
                 const std::shared_ptr<Dispatch>& errors, const std::string& source);

}  // namespace kvt710
