// What the writers of the batch object share: the error guard that turns a
// caught error into a report and -1, and the late-bound binding of a writer
// from its parameter list. Included by batch/, master/ and history/ only.
#pragma once

#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "catalogue/catalogue.h"
#include "sql/table.h"

namespace kvt710 {

template <class Body>
int32_t KVT710C3::Guarded(const char* method, ErrorList list, Body&& body) {
  // The source is named only when something is reported: writers run by the thousand.
  const auto source = [method] { return std::string("KVT710C3.") + method; };
  try {
    body();
    return 0;
  } catch (const Error& error) {
    ReportCaught(error, "11015", list, source());
  } catch (const std::bad_alloc&) {
    ReportCaught(Error(err::kOutOfMemory, "Out of memory", source()), "11015", list, source());
  } catch (const std::exception& e) {
    ReportCaught(Error(err::kInternal, e.what(), source()), "11015", list, source());
  }
  return -1;
}

// The names of a parameter list in call order.
template <class P>
std::vector<std::string> ParamNames(const std::vector<sql::Param<P>>& params) {
  std::vector<std::string> names;
  for (const sql::Param<P>& param : params) names.push_back(param.name);
  return names;
}

// The late-bound member of a writer: arguments are converted by `params`
// (required, optional, whole numbers, by-reference arrays) into P, then the
// typed method runs.
template <class P>
KVT710C3::Member BindWriter(std::string name, const std::vector<sql::Param<P>>& params,
                            int32_t (KVT710C3::*method)(const P&)) {
  return {std::move(name), InvokeKind::kMethod,
          [&params, method](KVT710C3& self, Args& args) {
            P p;
            using K = typename sql::Source<P>::Kind;
            for (size_t i = 0; i < params.size(); ++i) {
              const sql::Param<P>& param = params[i];
              if (param.optional && !args.Given(i)) continue;  // keeps P's default
              switch (param.target.kind) {
                case K::kText:
                  p.*(param.target.text) = args.String(i);
                  break;
                case K::kNumber:
                  p.*(param.target.number) = args.Long(i);
                  break;
                case K::kArray:
                  p.*(param.target.array) = args.Array(i);
                  break;
                default:
                  break;
              }
            }
            return Variant::Long((self.*method)(p));
          },
          ParamNames(params)};
}

// Binds a writer of `table` and describes it in `methods`.
template <class P>
void AddWriter(std::vector<KVT710C3::Member>& members, std::vector<KVT710C3::MethodInfo>& methods,
               std::string name, const sql::Table<P>& table,
               const std::vector<sql::Param<P>>& params, int32_t (KVT710C3::*method)(const P&)) {
  methods.push_back({name, table.name, sql::DescribeParams(table, params)});
  members.push_back(BindWriter(std::move(name), params, method));
}

// Describes a member just bound whose parameters are all required texts
// and feed no table column directly.
inline void DescribeLastAsTextMethod(const std::vector<KVT710C3::Member>& members,
                                     std::vector<KVT710C3::MethodInfo>& methods) {
  const KVT710C3::Member& member = members.back();
  KVT710C3::MethodInfo info{member.name, "", {}};
  for (const std::string& name : member.parameters)
    info.params.push_back({name, sql::ParamInfo::Type::kText, 0, 0, false, {}});
  methods.push_back(std::move(info));
}

// The query that counts the rows of `table` with a given row key: "Select
// Count(*) As CNT From T" and the conditions " Where k1=", " And k2=", ...
struct RowCountQuery {
  explicit RowCountQuery(const catalogue::TableInfo& table)
      : query("Select Count(*) As CNT From " + table.name) {
    for (const std::string& column : table.row_key)
      conditions.push_back((conditions.empty() ? " Where " : " And ") + column + "=");
  }
  std::string query;
  std::vector<std::string> conditions;
};

}  // namespace kvt710
