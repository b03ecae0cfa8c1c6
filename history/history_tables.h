// The table descriptions and parameter lists of the history writers, as
// data: one row per column, one entry per parameter.
#pragma once

#include <vector>

#include "batch/writer_params.h"
#include "sql/table.h"

namespace kvt710 {

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

}  // namespace kvt710
