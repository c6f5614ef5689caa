// The schema's versions, the same for every store: a one-row table holds the version,
// and each migration step brings the schema from the version before it.
#pragma once
#include <string>

#include "error_text.h"

namespace board {

// Inside the caller's transaction: creates the version table when it is missing and runs
// the steps from the stored version to the last. A version this server does not know (a
// newer server's, or a damaged row) is refused and nothing is run. `exec(sql)` runs a
// statement and keeps its error; `version()` reads the stored version, -1 if it cannot.
template <typename Exec, typename Version>
bool MigrateSchema(const char* const* steps, int latest, Exec exec, Version version, ErrorText* error) {
  if (!exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);"
            "INSERT INTO schema_version SELECT 0"
            " WHERE NOT EXISTS (SELECT 1 FROM schema_version)")) {
    return false;
  }
  int at = version();
  if (at > latest) {
    return error->Set("the database's schema (version " + std::to_string(at) +
                      ") is newer than this server's (" + std::to_string(latest) + ")");
  }
  if (at < 0) return error->Set("the database's schema version cannot be read or is damaged");
  for (; at < latest; ++at) {
    std::string set = "UPDATE schema_version SET version = " + std::to_string(at + 1);
    if (!exec(steps[at]) || !exec(set.c_str())) return false;
  }
  return true;
}

}  // namespace board
