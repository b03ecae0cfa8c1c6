// Sample customers of a shop for glasses, contact lenses and hearing aids,
// as import documents (one JSON object a customer, the form that
// `kvt710 import` reads). Deterministic: document i of a seed is always the
// same, whatever else is generated, so a benchmark can make any number.
//
// Document i creates the customer with key DemoKey(i) (kana and kanji names,
// telephone numbers and an address in Japan, glasses, contact-lens and
// hearing-aid histories with measurements, sales lines, a comment) except:
//   - i % 20 == 3, 9 or 16: a family member (FamilyKbn 2) of the customer of
//     document i - 1, sharing its surname, address and home telephone, and
//     joined with FamilyUpdate and FamilyCnt_Update;
//   - i % 20 == 19: the deletion ("delete": true) of the customer of
//     document i - 7, with a maintenance row of kind 2.
#pragma once

#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>

#include <nlohmann/json.hpp>

namespace kvt710::cli {

// The unique key that document `index` is about.
std::string DemoKey(int64_t index);
// Whether document `index` deletes a customer rather than writing one.
bool IsDemoDeletion(int64_t index);

// Document `index` (from 0) of the set made with `seed`.
nlohmann::json DemoCustomer(uint64_t seed, int64_t index);
// The same as one line of text (no newline).
std::string DemoCustomerLine(uint64_t seed, int64_t index);
// Documents 0 to count - 1, one a line, each made when the reader comes to
// it: only the line being read is held, whatever the count.
class DemoCustomerStream : public std::istream {
 public:
  DemoCustomerStream(uint64_t seed, int64_t count);

 private:
  class Lines : public std::streambuf {
   public:
    Lines(uint64_t seed, int64_t count) : seed_(seed), count_(count) {}

   protected:
    int_type underflow() override;

   private:
    uint64_t seed_;
    int64_t count_;
    int64_t next_ = 0;
    std::string line_;
  };
  Lines lines_;
};

}  // namespace kvt710::cli
