#include "store.h"

namespace board {

std::unique_ptr<Store> OpenStore(const std::string& where, int connections, std::string* error) {
  if (where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0)
    return OpenPostgres(where, connections, error);
  return OpenSqlite(where, connections, error);
}

}  // namespace board
