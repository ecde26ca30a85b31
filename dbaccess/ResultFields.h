#pragma once
/// What a result's column metadata tells about a field.

#include "Field.h"

struct st_mysql_field;

namespace norvane::db {

/// The field definition of a result column: its type as the dataset sees it, size, flags, and
/// whether it holds bytes, JSON, an ENUM or SET.
FieldDef fieldDefOf(const st_mysql_field& f);

} // namespace norvane::db
