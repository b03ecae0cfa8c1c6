// What the catalogue's tables share: runs of columns and parameters that
// several tables have in common. Included by catalogue/ only.
#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"

namespace kvt710::catalogue {

template <class P>
using Columns = std::vector<sql::Column<P>>;
template <class P>
using Params = std::vector<sql::Param<P>>;
template <class P>
using TextItems = std::initializer_list<std::pair<const char*, std::string P::*>>;

// A table, or a parameter list, made of runs joined in order.
template <class T>
std::vector<T> Concat(std::initializer_list<std::vector<T>> parts) {
  std::vector<T> all;
  for (const std::vector<T>& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A parameter list of text members; the first `required` are required.
template <class P>
std::vector<sql::Param<P>> TextParams(
    std::initializer_list<std::pair<const char*, std::string P::*>> items, size_t required) {
  std::vector<sql::Param<P>> params;
  size_t i = 0;
  for (const auto& [name, member] : items)
    params.push_back({name, sql::Source<P>::Text(member), i++ >= required});
  return params;
}

template <class P>
Params<P> Required(TextItems<P> items) {
  return TextParams<P>(items, items.size());
}
template <class P>
Params<P> Optional(TextItems<P> items) {
  return TextParams<P>(items, 0);
}

// The store, customer key and history number that every glasses, contact
// lens and hearing aid row begins with. Keys must be plain numbers.
template <class P>
Columns<P> EntryKeyColumns(const std::string& prefix) {
  using S = sql::Source<P>;
  return {{prefix + "STORE_NO", sql::Form::kQuotedUnchanged, S::Text(&P::StoreCd)},
          {prefix + "UNIQUE_KEY", sql::Form::kKey, S::Text(&P::UniqueKey)},
          {prefix + "HISTORY_NO", sql::Form::kKey, S::Text(&P::HistoryNo)}};
}
template <class P>
Params<P> EntryKeyParams() {
  return Required<P>(
      {{"StoreCd", &P::StoreCd}, {"UniqueKey", &P::UniqueKey}, {"HistoryNo", &P::HistoryNo}});
}

// The four triples of far degree, near degree and cylinder of the glasses
// and contact lens headers, in column order; all optional numbers.
template <class P>
std::array<std::string P::*, 12> DegreeMembers() {
  return {&P::Fdegree_1, &P::Ndegree_1, &P::Cyl_N_1, &P::Fdegree_2, &P::Ndegree_2, &P::Cyl_N_2,
          &P::Fdegree_3, &P::Ndegree_3, &P::Cyl_N_3, &P::Fdegree_4, &P::Ndegree_4, &P::Cyl_N_4};
}
template <class P>
Columns<P> DegreeColumns(const std::string& prefix) {
  static const char* const kSuffixes[] = {"_F_DEGREE_N", "_N_DEGREE_N", "_CYL_N"};
  Columns<P> columns;
  const auto members = DegreeMembers<P>();
  for (size_t i = 0; i < members.size(); ++i)
    columns.push_back({prefix + std::to_string(i / 3 + 1) + kSuffixes[i % 3], sql::Form::kNumber,
                       sql::Source<P>::Text(members[i])});
  return columns;
}
template <class P>
Params<P> DegreeParams() {
  static const char* const kNames[] = {"Fdegree_", "Ndegree_", "Cyl_N_"};
  Params<P> params;
  const auto members = DegreeMembers<P>();
  for (size_t i = 0; i < members.size(); ++i)
    params.push_back(
        {kNames[i % 3] + std::to_string(i / 3 + 1), sql::Source<P>::Text(members[i]), true});
  return params;
}

// The tail of the glasses and contact lens headers and the contact lens
// detail: two spare numbers, a spare text, the time of writing and the
// transfer flag.
template <class P>
Columns<P> SpareColumns(const std::string& prefix) {
  using S = sql::Source<P>;
  using F = sql::Form;
  return {{prefix + "YOBI1", F::kNumber, S::Text(&P::Yobi1)},
          {prefix + "YOBI2", F::kNumber, S::Text(&P::Yobi2)},
          {prefix + "YOBI3", F::kPlainText, S::Text(&P::Yobi3)},
          {prefix + "UPD_DATETIME", F::kTimestamp, S::None()},
          {prefix + "TRANSE_FLG", F::kNumber, S::Text(&P::TranseFlg)}};
}
template <class P>
Params<P> SpareParams() {
  return Optional<P>({{"Yobi1", &P::Yobi1},
                      {"Yobi2", &P::Yobi2},
                      {"Yobi3", &P::Yobi3},
                      {"TranseFlg", &P::TranseFlg}});
}

}  // namespace kvt710::catalogue
