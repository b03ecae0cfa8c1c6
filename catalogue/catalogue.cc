// The ten tables as the database sees them, described from the writers'
// tables: types from the value forms, keys and indexes.
#include "catalogue/catalogue.h"

#include <utility>

namespace kvt710::catalogue {
namespace {

template <class P>
TableInfo Describe(const sql::Table<P>& table, std::string description) {
  TableInfo info{table.name, std::move(description), {}, {}, false, {}, {}};
  for (const sql::Column<P>& column : table.columns) {
    info.columns.push_back({column.name, TypeOf(column.form)});
    const sql::Source<P>& s = column.source;
    if (s.kind == sql::Source<P>::Kind::kText && s.text == &P::UniqueKey)
      info.customer_key = column.name;
  }
  return info;
}

// An index of one column, named after the table and the column without its prefix.
IndexInfo IndexOn(const TableInfo& table, const std::string& column) {
  return {table.name + "_" + column.substr(column.find('_') + 1) + "_IX", {column}};
}

std::vector<TableInfo> AllTables() {
  std::vector<TableInfo> tables;
  TableInfo& base =
      tables.emplace_back(Describe(BaseTable(), "Customer master: one row per customer."));
  base.customer_key_is_primary = true;
  base.row_key = {base.customer_key};
  base.indexes = {IndexOn(base, "CUBS_FAMILY_KEY"), IndexOn(base, "CUBS_NEWBST_COMING")};

  TableInfo& mente = tables.emplace_back(Describe(
      MenteTable(),
      "Maintenance transactions, one row per store, HT kind and customer (not enforced)."));
  // Store, HT kind and customer: the first three columns.
  for (size_t i = 0; i < 3; ++i) mente.row_key.push_back(mente.columns[i].name);
  mente.indexes = {IndexOn(mente, mente.customer_key), {"CMENTE_T_STORE_HT_KEY_IX", mente.row_key}};

  tables.push_back(Describe(GlassesHeaderTable(), "Glasses prescription headers."));
  tables.push_back(Describe(GlassesDetailTable(), "Glasses measurement details."));
  tables.push_back(Describe(ContactHeaderTable(), "Contact lens headers."));
  tables.push_back(Describe(ContactDetailTable(), "Contact lens details."));
  tables.push_back(Describe(HearingHeaderTable(), "Hearing aid headers."));
  tables.push_back(Describe(HearingDetailTable(), "Hearing aid details."));
  tables.push_back(Describe(SalesLineTable(), "Sales lines."));
  tables.push_back(Describe(CommentTable(), "Customer comments."));
  for (size_t i = 2; i < tables.size(); ++i)
    tables[i].indexes = {IndexOn(tables[i], tables[i].customer_key)};
  return tables;
}

}  // namespace

ColumnType TypeOf(sql::Form form) {
  switch (form) {
    case sql::Form::kDate:
      return ColumnType::kDate;
    case sql::Form::kTimestamp:
      return ColumnType::kTimestamp;
    case sql::Form::kQuotedUnchanged:
    case sql::Form::kQuotedNumber:
    case sql::Form::kText:
    case sql::Form::kPlainText:
    case sql::Form::kUntrimmedPhone:
    case sql::Form::kUntrimmedText:
      return ColumnType::kText;
    default:
      return ColumnType::kNumber;
  }
}

const std::vector<TableInfo>& Tables() {
  static const std::vector<TableInfo> tables = AllTables();
  return tables;
}

const TableInfo& Base() {
  return Tables()[0];
}

const TableInfo& Mente() {
  return Tables()[1];
}

const std::vector<const TableInfo*>& HistoryTables() {
  // Comments are emptied before sales lines.
  static const std::vector<const TableInfo*> tables = {&Tables()[2], &Tables()[3], &Tables()[4],
                                                       &Tables()[5], &Tables()[6], &Tables()[7],
                                                       &Tables()[9], &Tables()[8]};
  return tables;
}

}  // namespace kvt710::catalogue
