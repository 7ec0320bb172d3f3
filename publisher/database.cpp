#include "publisher/database.h"

#include <stdlib.h>

namespace publisher {

std::string SqlRow::text(size_t column) const {
  return column < columns.size() && columns[column] ? *columns[column] : std::string();
}

int64_t SqlRow::integer(size_t column) const {
  const std::string value = text(column);
  if (value.empty()) return 0;
  char* end = nullptr;
  const long long number = strtoll(value.c_str(), &end, 10);
  return end != nullptr && *end == '\0' ? number : 0;
}

bool isPostgresAddress(std::string_view where) {
  return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0 ||
         where.find('=') != std::string_view::npos;
}

std::unique_ptr<Database> openDatabase(const std::string& where, std::string* error) {
  return isPostgresAddress(where) ? openPostgres(where, error) : openSqlite(where, error);
}

}  // namespace publisher
