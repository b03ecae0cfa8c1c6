// kvt710::Error: the one exception type inside the library. It is the error
// object of the error being handled: number, description and source, as an
// automation error result carries them.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace kvt710 {

// Well-known automation error numbers.
namespace err {
constexpr int32_t kInvalidCall = 5;             // invalid procedure call or argument
constexpr int32_t kOverflow = 6;                // overflow
constexpr int32_t kOutOfMemory = 7;             // out of memory
constexpr int32_t kSubscript = 9;               // subscript out of range
constexpr int32_t kTypeMismatch = 13;           // type mismatch
constexpr int32_t kInternal = 51;               // internal error
constexpr int32_t kFileAccess = 75;             // path/file access error
constexpr int32_t kInvalidUseOfNull = 94;       // invalid use of Null
constexpr int32_t kObjectRequired = 424;        // object required
constexpr int32_t kCannotCreate = 429;          // object cannot be created
constexpr int32_t kUnknownMember = 438;         // object doesn't support this property or method
constexpr int32_t kNotOptional = 449;           // argument not optional
constexpr int32_t kWrongArgCount = 450;         // wrong number of arguments
constexpr int32_t kProvider = -2147467259;      // unspecified provider failure (E_FAIL)
constexpr int32_t kConnectionClosed = 3704;     // operation not allowed when the object is closed
constexpr int32_t kBadConnectionString = 3706;  // provider cannot be found or string malformed
}  // namespace err

class Error : public std::exception {
 public:
  Error(int32_t number, std::string description, std::string source = {})
      : number_(number), description_(std::move(description)), source_(std::move(source)) {}

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }
  const char* what() const noexcept override { return description_.c_str(); }

  // The same error with its source filled in when it has none yet.
  Error WithSource(const std::string& source) const {
    return Error(number_, description_, source_.empty() ? source : source_);
  }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

}  // namespace kvt710
