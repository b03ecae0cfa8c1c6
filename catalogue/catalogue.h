// The catalogue of the ten tables of the customer database: for each table
// its name, its columns in order with their SQL types, its keys and indexes,
// and for each writer the table it feeds, the form and parameter of every
// column and its parameter list. Writers, the batch object's DELETEs, the
// command line, the field-list executor and the schema files all take the
// tables from here; nothing else lists tables or columns.
//
// Everything here is constant and built on first use; safe to read from any
// thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "catalogue/writer_params.h"
#include "sql/table.h"

namespace kvt710::catalogue {

// What a column stores: bare values are numbers, quoted values text.
enum class ColumnType { kNumber, kText, kDate, kTimestamp };

// The type of a column whose values are written in `form`.
ColumnType TypeOf(sql::Form form);

struct ColumnInfo {
  std::string name;
  ColumnType type;
};

struct IndexInfo {
  std::string name;
  std::vector<std::string> columns;
};

// One table as the database sees it.
struct TableInfo {
  std::string name;
  std::string description;  // what a row is, one line
  std::vector<ColumnInfo> columns;
  // The column that holds the customer's unique key; in CBASE the primary key.
  std::string customer_key;
  bool customer_key_is_primary = false;
  // The columns by which its writer finds the row that it updates (CBASE and
  // CMENTE_T; the history writers only insert).
  std::vector<std::string> row_key;
  std::vector<IndexInfo> indexes;
};

// The ten tables, the customer master first, in the order of the schema.
const std::vector<TableInfo>& Tables();
const TableInfo& Base();
const TableInfo& Mente();
// The eight history tables, in the order in which Execute empties a
// customer's history before writing it again.
const std::vector<const TableInfo*>& HistoryTables();

// The writers' tables and parameter lists: one row per column (name, value
// form, the parameter member that feeds it), one entry per parameter in call
// order.

// CBASE in the order the INSERT names its 148 columns. The telephone key,
// the family pair, the row state and the best link are computed by
// SetBaseData itself; their rows only fix name, place and type.
const sql::Table<BaseDataParams>& BaseTable();
// The column order of the UPDATE: CUBS_REMARKS comes right after CUBS_CYL_SUM.
const std::vector<size_t>& BaseUpdateOrder();
const std::vector<sql::Param<BaseDataParams>>& BaseParamList();

// CMENTE_T in the order the INSERT names its 16 columns. An UPDATE leaves
// out MTRN_MOTO_STORE and MTRN_ZYOTAI_KBN when they are not numeric.
const sql::Table<MenteDataParams>& MenteTable();
const std::vector<sql::Param<MenteDataParams>>& MenteParamList();

const sql::Table<GlassesHeaderParams>& GlassesHeaderTable();
const std::vector<sql::Param<GlassesHeaderParams>>& GlassesHeaderParamList();
const sql::Table<GlassesDetailParams>& GlassesDetailTable();
const std::vector<sql::Param<GlassesDetailParams>>& GlassesDetailParamList();

const sql::Table<ContactHeaderParams>& ContactHeaderTable();
const std::vector<sql::Param<ContactHeaderParams>>& ContactHeaderParamList();
const sql::Table<ContactDetailParams>& ContactDetailTable();
const std::vector<sql::Param<ContactDetailParams>>& ContactDetailParamList();

const sql::Table<HearingHeaderParams>& HearingHeaderTable();
const std::vector<sql::Param<HearingHeaderParams>>& HearingHeaderParamList();
const sql::Table<HearingDetailParams>& HearingDetailTable();
const std::vector<sql::Param<HearingDetailParams>>& HearingDetailParamList();

const sql::Table<SalesLineParams>& SalesLineTable();
const std::vector<sql::Param<SalesLineParams>>& SalesLineParamList();

const sql::Table<CommentParams>& CommentTable();
const std::vector<sql::Param<CommentParams>>& CommentParamList();

}  // namespace kvt710::catalogue
