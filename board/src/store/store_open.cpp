#include "store/store.h"

namespace board {

bool IsPostgresUrl(const std::string& where) {
  return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Store> OpenStore(const std::string& where, int connections, std::string* error) {
  std::unique_ptr<Store> store = IsPostgresUrl(where) ? OpenPostgres(where, connections, error)
                                                      : OpenSqlite(where, connections, error);
  if (store && !store->EnsureSecret()) {
    *error = store->LastError();
    return nullptr;
  }
  return store;
}

}  // namespace board
