#include "store/store.h"

namespace board {

std::unique_ptr<Store> OpenStore(const std::string& where, int connections, std::string* error) {
  std::unique_ptr<Store> store =
      where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0
          ? OpenPostgres(where, connections, error)
          : OpenSqlite(where, connections, error);
  if (store && !store->EnsureSecret()) {
    *error = store->LastError();
    return nullptr;
  }
  return store;
}

}  // namespace board
