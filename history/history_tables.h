// The table descriptions and parameter lists of the history writers, as
// data: one row per column, one entry per parameter.
#pragma once

#include <vector>

#include "batch/writer_params.h"
#include "sql/table.h"

namespace kvt710 {

const sql::Table<CommentParams>& CommentTable();
const std::vector<sql::Param<CommentParams>>& CommentParamList();

}  // namespace kvt710
