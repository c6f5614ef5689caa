// zumble-board: the best-times server (default), `submit` to send it a replay, `admin`
// for its operator, or `backup` and `restore`.
#include <cstdio>
#include <cstring>

#include "admin/admin.h"
#include "admin/backup.h"
#include "ops/version.h"
#include "options.h"
#include "server.h"
#include "submit_client.h"
#include "verify/verifier.h"

int main(int argc, char** argv) {
  board::KeepSampleKeySecret();  // before any verifier starts, in every command
  if (argc > 1 && strcmp(argv[1], "submit") == 0) return board::SubmitCommand(argc - 2, argv + 2);
  if (argc > 1 && strcmp(argv[1], "admin") == 0) return board::AdminCommand(argc - 2, argv + 2);
  if (argc > 1 && strcmp(argv[1], "backup") == 0) return board::BackupCommand(argc - 2, argv + 2);
  if (argc > 1 && strcmp(argv[1], "restore") == 0) return board::RestoreCommand(argc - 2, argv + 2);
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("%s\n", board::VersionLine().c_str());
    return 0;
  }
  board::ServerOptions options;
  bool help = false;
  std::string error;
  if (!board::ParseServerOptions(argc, argv, &options, &help, &error)) {
    fprintf(stderr, "zumble-board: %s\n%s", error.c_str(), board::ServerUsage().c_str());
    return 2;
  }
  if (help) {
    printf(
        "%s\nthe submit command (to send a replay to a board):\n%s"
        "\nthe admin command (the operator's, on the database itself):\n%s",
        board::ServerHelp().c_str(), board::SubmitUsage(), board::AdminUsage());
    return 0;
  }
  return board::Serve(options);
}
