// The table descriptions and parameter lists of the customer master writers
// (CBASE and CMENTE_T), as data: one row per column, one entry per parameter.
#pragma once

#include <cstddef>
#include <vector>

#include "batch/writer_params.h"
#include "sql/table.h"

namespace kvt710 {

// CBASE in the order the INSERT names its 148 columns. The telephone key,
// the family pair, the row state and the best link are computed by
// SetBaseData itself; their rows only fix name and place.
const sql::Table<BaseDataParams>& BaseTable();
// The column order of the UPDATE: CUBS_REMARKS comes right after CUBS_CYL_SUM.
const std::vector<size_t>& BaseUpdateOrder();
const std::vector<sql::Param<BaseDataParams>>& BaseParamList();

// CMENTE_T in the order the INSERT names its 16 columns. An UPDATE leaves
// out MTRN_MOTO_STORE and MTRN_ZYOTAI_KBN when they are not numeric.
const sql::Table<MenteDataParams>& MenteTable();
const std::vector<sql::Param<MenteDataParams>>& MenteParamList();

}  // namespace kvt710
