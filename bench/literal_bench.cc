// Micro-benchmarks of the component's own work, without a database write:
//   BM_Render/<form>        one value rendered in each value form
//   BM_Statement/<writer>   one writer's row rendered and its INSERT built
//                           (values of a demo customer)
//   BM_Shape                a built statement's shape written (the cache key)
//   BM_CustomerQueue        a whole demo customer's queue built through the
//                           late-bound interface: Initialize and every call,
//                           existence checks included (an SQLite file)
//
//   literal_bench [--benchmark_filter=REGEX] [--benchmark_min_time=0.5]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "bench/settle_heap.h"
#include "catalogue/catalogue.h"
#include "cli/demo_data.h"
#include "cli/json_values.h"
#include "component/server.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/safe_array.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"
#include "platform/settings/settings.h"
#include "platform/text/ascii.h"
#include "sql/KVT710H1.h"
#include "sql/table.h"

namespace {

using kvt710::DateTime;
using kvt710::Variant;
namespace sql = kvt710::sql;
using json = nlohmann::json;

const DateTime kNow{2016, 7, 4, 9, 8, 7};

// ---------------------------------------------------------------------------

struct FormCase {
  const char* name;
  sql::Form form;
  const char* value;
};
const FormCase kForms[] = {
    {"Key", sql::Form::kKey, "1203"},
    {"QuotedUnchanged", sql::Form::kQuotedUnchanged, "it's 001"},
    {"Number", sql::Form::kNumber, "-1.25"},
    {"QuotedNumber", sql::Form::kQuotedNumber, " 1,234 "},
    {"WholeNumber", sql::Form::kWholeNumber, "133144.5"},
    {"Text", sql::Form::kText, " スズキ ナオミ "},
    {"PlainText", sql::Form::kPlainText, "神奈川県横浜市港北区日吉"},
    {"Date", sql::Form::kDate, "2022/9/8"},
    {"Timestamp", sql::Form::kTimestamp, ""},
    {"NumberOrZero", sql::Form::kNumberOrZero, "2"},
    {"UntrimmedPhone", sql::Form::kUntrimmedPhone, "080-8120-7725"},
    {"UntrimmedText", sql::Form::kUntrimmedText, "K-500000"},
    {"MonthDay", sql::Form::kMonthDay, "1956/05/05"},
    {"SideCode", sql::Form::kSideCode, "2"},
    {"Reserve", sql::Form::kReserve, "7"},
    {"Integer", sql::Form::kInteger, "1"},
    {"Number_empty", sql::Form::kNumber, ""},
    {"Text_empty", sql::Form::kText, ""},
};

void BM_Render(benchmark::State& state, const FormCase& c) {
  for (auto _ : state) {
    std::string literal = sql::Render(c.form, c.value, c.name, kNow);
    benchmark::DoNotOptimize(literal);
  }
}

// ---------------------------------------------------------------------------

// The arguments of the first call of `method` among the first demo customers.
json DemoArguments(const std::string& method) {
  for (int64_t i = 0; i < 40; ++i) {
    const json document = kvt710::cli::DemoCustomer(1, i);
    for (const json& call : document.at("calls"))
      if (call.begin().key() == method) return call.begin().value();
  }
  return json::object();
}

// A writer's parameters filled from named arguments, as the late-bound
// binding fills them.
template <class P>
P Params(const std::vector<sql::Param<P>>& list, const json& arguments) {
  P p{};
  using K = typename sql::Source<P>::Kind;
  for (const auto& [name, value] : arguments.items()) {
    for (const sql::Param<P>& param : list) {
      if (!kvt710::text::EqualsIgnoreCase(param.name, name)) continue;
      const Variant v = kvt710::cli::ImportValue(value);
      if (param.target.kind == K::kText) p.*(param.target.text) = v.ToString();
      if (param.target.kind == K::kNumber) p.*(param.target.number) = v.ToLong();
      if (param.target.kind == K::kArray) p.*(param.target.array) = v.ToArray();
    }
  }
  return p;
}

// Copies of `p` whose arrays are their own (the builder renders arrays in place).
template <class P>
std::vector<P> Copies(const std::vector<sql::Param<P>>& list, const P& p, size_t n) {
  std::vector<P> copies(n, p);
  for (P& copy : copies) {
    for (const sql::Param<P>& param : list) {
      if (param.target.kind != sql::Source<P>::Kind::kArray) continue;
      auto& array = copy.*(param.target.array);
      if (array) array = std::make_shared<kvt710::SafeArray>(*array);
    }
  }
  return copies;
}

template <class P>
void BM_Statement(benchmark::State& state, const char* method, const sql::Table<P>& (*table)(),
                  const std::vector<sql::Param<P>>& (*list)()) {
  const P p = Params(list(), DemoArguments(method));
  std::vector<P> copies;
  size_t next = 0;
  int64_t bytes = 0;
  for (auto _ : state) {
    if (next == copies.size()) {
      state.PauseTiming();
      copies = Copies(list(), p, 1000);
      next = 0;
      kvt710::bench::SettleHeap();
      state.ResumeTiming();
    }
    sql::Row row;
    sql::RenderRow(table(), copies[next++], kNow, row);
    kvt710::db::Statement statement = sql::BuildInsert(table().name, row.values);
    bytes += static_cast<int64_t>(statement.text().size());
    benchmark::DoNotOptimize(statement);
  }
  state.SetBytesProcessed(bytes);
}

void BM_Shape(benchmark::State& state) {
  const auto& list = kvt710::catalogue::BaseParamList();
  kvt710::BaseDataParams p = Copies(list, Params(list, DemoArguments("SetBaseData")), 1)[0];
  sql::Row row;
  sql::RenderRow(kvt710::catalogue::BaseTable(), p, kNow, row);
  const kvt710::db::Statement statement =
      sql::BuildInsert(kvt710::catalogue::BaseTable().name, row.values);
  std::string shape;
  for (auto _ : state) {
    statement.ShapeInto(shape);
    benchmark::DoNotOptimize(shape);
  }
}

// ---------------------------------------------------------------------------

struct Call {
  std::string method;
  std::vector<Variant> args;
};

// A demo customer's calls with their arguments in parameter order.
std::vector<Call> CustomerCalls(kvt710::Dispatch& batch, int64_t index) {
  std::vector<Call> calls;
  const json document = kvt710::cli::DemoCustomer(1, index);
  for (const json& call : document.at("calls")) {
    const std::string method = call.begin().key();
    std::vector<kvt710::NamedArg> named;
    for (const auto& [name, value] : call.begin().value().items())
      named.push_back({name, kvt710::cli::ImportValue(value)});
    calls.push_back(
        {method, kvt710::ArrangeNamedArgs(method, batch.ParameterNames(method), std::move(named))});
  }
  return calls;
}

std::vector<Call> DeepCopy(const std::vector<Call>& calls) {
  std::vector<Call> copy = calls;
  for (Call& call : copy)
    for (Variant& arg : call.args)
      if (arg.IsArray()) arg = Variant::Array(std::make_shared<kvt710::SafeArray>(*arg.ToArray()));
  return copy;
}

void BM_CustomerQueue(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path file =
      fs::temp_directory_path() / ("kvt710-literal-bench-" + std::to_string(getpid()) + ".db");
  const std::string connection_string = "Provider=SQLite;Data Source=" + file.string();
  {
    auto connection = kvt710::db::Connection::Create();
    connection->Open(connection_string + ";Mode=ReadWriteCreate");
    kvt710::db::CreateProductSchema(*connection);
  }
  auto batch = kvt710::KVT710C3::Create(
      kvt710::Settings::WithValues({{kvt710::kCommonSection, "area", "1"},
                                    {kvt710::kCommonSection, "DBPARMC", connection_string}}));
  const std::vector<Call> customer = CustomerCalls(*batch, 0);
  std::vector<std::vector<Call>> copies;
  size_t next = 0;
  int64_t statements = 0;
  for (auto _ : state) {
    if (next == copies.size()) {
      state.PauseTiming();
      copies.assign(200, {});
      for (auto& copy : copies) copy = DeepCopy(customer);
      next = 0;
      kvt710::bench::SettleHeap();
      state.ResumeTiming();
    }
    batch->Call("Initialize");
    for (Call& call : copies[next])
      batch->Invoke(call.method, kvt710::InvokeKind::kMethod, call.args);
    ++next;
    statements += batch->Queue()->Count();
  }
  state.counters["statements"] =
      benchmark::Counter(static_cast<double>(statements), benchmark::Counter::kIsRate);
  batch.reset();
  fs::remove(file);
  fs::remove(file.string() + "-wal");
  fs::remove(file.string() + "-shm");
}

}  // namespace

int main(int argc, char** argv) {
  kvt710::RegisterServer();
  for (const FormCase& c : kForms)
    benchmark::RegisterBenchmark((std::string("BM_Render/") + c.name).c_str(), BM_Render, c);
  benchmark::RegisterBenchmark("BM_Statement/SetBaseData", BM_Statement<kvt710::BaseDataParams>,
                               "SetBaseData", &kvt710::catalogue::BaseTable,
                               &kvt710::catalogue::BaseParamList);
  benchmark::RegisterBenchmark("BM_Statement/SetMENTEData", BM_Statement<kvt710::MenteDataParams>,
                               "SetMENTEData", &kvt710::catalogue::MenteTable,
                               &kvt710::catalogue::MenteParamList);
  benchmark::RegisterBenchmark(
      "BM_Statement/SetG_BaseData", BM_Statement<kvt710::GlassesHeaderParams>, "SetG_BaseData",
      &kvt710::catalogue::GlassesHeaderTable, &kvt710::catalogue::GlassesHeaderParamList);
  benchmark::RegisterBenchmark(
      "BM_Statement/SetG_DTLData", BM_Statement<kvt710::GlassesDetailParams>, "SetG_DTLData",
      &kvt710::catalogue::GlassesDetailTable, &kvt710::catalogue::GlassesDetailParamList);
  benchmark::RegisterBenchmark(
      "BM_Statement/SetC_BaseData", BM_Statement<kvt710::ContactHeaderParams>, "SetC_BaseData",
      &kvt710::catalogue::ContactHeaderTable, &kvt710::catalogue::ContactHeaderParamList);
  benchmark::RegisterBenchmark(
      "BM_Statement/SetC_DTLData", BM_Statement<kvt710::ContactDetailParams>, "SetC_DTLData",
      &kvt710::catalogue::ContactDetailTable, &kvt710::catalogue::ContactDetailParamList);
  benchmark::RegisterBenchmark(
      "BM_Statement/SetH_BaseData", BM_Statement<kvt710::HearingHeaderParams>, "SetH_BaseData",
      &kvt710::catalogue::HearingHeaderTable, &kvt710::catalogue::HearingHeaderParamList);
  benchmark::RegisterBenchmark(
      "BM_Statement/SetH_DTLData", BM_Statement<kvt710::HearingDetailParams>, "SetH_DTLData",
      &kvt710::catalogue::HearingDetailTable, &kvt710::catalogue::HearingDetailParamList);
  benchmark::RegisterBenchmark("BM_Statement/SetUriageData", BM_Statement<kvt710::SalesLineParams>,
                               "SetUriageData", &kvt710::catalogue::SalesLineTable,
                               &kvt710::catalogue::SalesLineParamList);
  benchmark::RegisterBenchmark("BM_Statement/SetSYOKANData", BM_Statement<kvt710::CommentParams>,
                               "SetSYOKANData", &kvt710::catalogue::CommentTable,
                               &kvt710::catalogue::CommentParamList);
  benchmark::RegisterBenchmark("BM_Shape/SetBaseData", BM_Shape);
  benchmark::RegisterBenchmark("BM_CustomerQueue", BM_CustomerQueue)->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
