// Where the runs live: SQLite (one file) or PostgreSQL (shared by several servers).
// Each store opens its own connections, creates and migrates its schema, and runs SQL
// for the board; what the board asks (store_runs.cpp, store_submit.cpp, store_admin.cpp)
// is written once over both, in SQL that both understand ($1, $2... as parameters).
// A write is one transaction, so a run is either whole or absent.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace board {

// A run as the board shows it. `state` is "shown", "held" (kept for an operator's
// review, never shown until approved), "hidden" (taken off by an operator) or
// "rejected" (an operator's verdict on a held run).
struct Run {
  int64_t id = 0;
  std::string name;
  int flies = 0;
  int speed = 0;
  int64_t time_ms = 0;
  int64_t frames = 0;
  int64_t created = 0;  // when the board took it, seconds since 1970, UTC
  int64_t played = -1;  // when the round was played (its seed); -1 unknown
  std::string program;  // the version text of the program that recorded it; "" unknown
  bool touch = false;
  bool pad = false;
  std::string state = "shown";
  std::string signs;      // "NAME:VALUE,..." measured signs of machine play; "" none
  std::string sender;     // the address (or IPv6 /64) it came from
  bool record = false;    // the best of its mode when it went on the board
  bool personal = false;  // its player's best of the mode when it went on the board
  int64_t shown_at = 0;   // when it went on the board (0: never)
  bool best = false;      // in a player's list: their best of the mode now
  // Enter/Space presses that changed the flies' pace in play: 0 as dealt (the mode's
  // board), more on the mode's board with the keys; -1 not filed yet (on no board).
  int64_t rate_keys = -1;
};

// Which of a mode's two boards: rounds as dealt, or rounds whose pace Enter or Space
// changed.
enum class Pace { kDealt = 0, kKeys = 1 };
inline Pace PaceOf(const Run& run) { return run.rate_keys > 0 ? Pace::kKeys : Pace::kDealt; }

// A submission that passed the verifier, with what the board needs to decide on it.
struct NewRun {
  std::string name;    // as the player wrote it (after ParseName)
  std::string fold;    // FoldName(name)
  std::string key;     // the key the sender gave, "" none
  std::string hash;    // SHA-256 of the replay, hex
  std::string round;   // the round's identity (the hash when the verifier gives none)
  std::string replay;  // its bytes
  int flies = 0;
  int speed = 0;
  int64_t time_ms = 0;
  int64_t frames = 0;
  int64_t created = 0;
  int64_t played = -1;
  std::string program;
  bool touch = false;
  bool pad = false;
  std::string signs;  // non-empty: stored held
  std::string sender;
  int64_t rate_keys = -1;   // as the verifier said; -1 it did not
  std::string swats;        // the round by what the game did, "" unknown
  std::string swat_frames;  // the frame of every swat (replay/core/swat_frames.h), "" unknown
  std::string verdict;      // the verifier's whole line
  int max_held = 3;         // held runs one sender may have waiting at once
  // A run that would take one of this many places of its board waits for a moderator
  // (held without signs: "awaiting review"); 0 never.
  int review_top = 0;
};

// What became of a submission in the store.
struct Stored {
  enum Outcome {
    kStored,         // a new run (shown, or held when it has signs): run, rank, key
    kAlready,        // the same round under the same name is already stored: run
    kDuplicate,      // the same round is stored under another name: run (and `near`)
    kNameTaken,      // the name (or one that looks like it) is another player's; no key given
    kBadKey,         // a key was given, and it is not the name's
    kBannedName,     // reason
    kBannedAddress,  // reason
    kTooManyHeld,    // the run would be held, and its sender has max_held waiting
  } outcome = kStored;
  Run run;
  int64_t rank = 0;  // among players' bests of the mode (for a held run: where it would be)
  // The new key when this run claimed its name; for a held run, the key the name gets
  // if the run is approved (until then the name is nobody's); else "".
  std::string key;
  std::string holder;  // kNameTaken: the name as its player shows it
  std::string reason;  // a ban's reason
  // kDuplicate: not the same round, but one whose every swat is within kNearFrames frames
  // of the stored run's (a copy with swats moved a frame or two).
  bool near = false;
};

// A round of the same mode and seed whose every swat is within this many frames of a
// stored run's is a copy of it.
constexpr uint32_t kNearFrames = 2;

// The most runs of one board a player's chart draws (the newest).
constexpr int kPlayerChartRuns = 500;

// One page of a list, and how long the whole list is.
struct Page {
  std::vector<Run> runs;
  int64_t total = 0;
  int64_t offset = 0;
};

struct Player {
  int64_t id = 0;
  std::string name;
  std::string fold;
  int64_t created = 0;
  bool banned = false;
  std::string ban_reason;
  bool has_key = false;
};

// Which runs the operator lists: each part left empty (or 0) takes any.
struct RunFilter {
  std::string state;    // shown, held, hidden, rejected
  std::string fold;     // the player's, by the folded name
  std::string sender;   // the address it came from (SenderOf's form)
  std::string sign;     // a sign's name (jump_swats, ...)
  int64_t same_as = 0;  // runs of this run's mode and seed, whatever their swats (itself too)
};

// A run stored before the board knew how its round was dealt (store_refile.cpp).
struct UnfiledRun {
  int64_t id = 0;
  int flies = 0;
  int speed = 0;
  int64_t time_ms = 0;
  std::string verdict;  // the verifier's line when it was stored, "" none kept
};

struct AuditRow {
  int64_t id = 0;
  int64_t at = 0;
  std::string actor;
  std::string action;
  std::string target;
  std::string reason;
};

// A parameter of a query: text, a whole number or bytes.
struct SqlParam {
  enum Kind { kText, kInt, kBlob } kind = kText;
  std::string text;
  int64_t number = 0;
};
inline SqlParam Text(std::string_view t) { return {SqlParam::kText, std::string(t), 0}; }
inline SqlParam Int(int64_t n) { return {SqlParam::kInt, "", n}; }
inline SqlParam Blob(std::string_view b) { return {SqlParam::kBlob, std::string(b), 0}; }

// A query's answer: rows of text cells (NULL reads as ""), bytes as they are.
struct SqlRows {
  int columns = 0;
  std::vector<std::string> cells;
  size_t size() const { return columns ? cells.size() / static_cast<size_t>(columns) : 0; }
  const std::string& At(size_t row, int col) const {
    return cells[row * static_cast<size_t>(columns) + static_cast<size_t>(col)];
  }
  int64_t Int(size_t row, int col) const { return std::atoll(At(row, col).c_str()); }
};

// One connection for the length of a session: runs a statement with its parameters.
class SqlSession {
public:
  virtual ~SqlSession() = default;
  // rows may be null for a statement without an answer; `bytes` when the answer is one
  // column of bytes, which then come as they are. False (the store keeps the error)
  // when the statement failed.
  virtual bool Run(const char* sql, const std::vector<SqlParam>& params, SqlRows* rows,
                   bool bytes = false) = 0;
};

// The connection pool and the errors met, for the board's metrics.
struct StoreUsage {
  int in_use = 0, size = 0;
  int64_t timeouts = 0;  // waits for a connection that ran out
  int64_t errors = 0;    // statements and steps that failed
};

class Store {
public:
  virtual ~Store() = default;

  // A number that changes whenever what the board shows changes (by this server, another
  // one or the operator).
  bool Generation(int64_t* out);
  // The run already stored for this replay's bytes, in any state.
  bool FindByHash(const std::string& hash, Run* out, bool* found);
  // Decides on a verified submission and stores it, all in one transaction.
  bool Submit(const NewRun& run, Stored* out);
  // Whether the name may be used with this key, read before a replay is verified (so a
  // name's squatter costs no verification): out->outcome kStored when it may (a new name,
  // one without a key yet, or the key is right), else kNameTaken, kBadKey or kBannedName.
  bool CheckName(const std::string& fold, const std::string& key, Stored* out);
  // The address's ban, if any (checked before a replay is verified).
  bool AddressBan(const std::string& address, bool* banned, std::string* reason);
  // 1 + the players whose best shown run of this mode's board of the run's pace is
  // faster (or as fast and older).
  bool Rank(const Run& run, int64_t* rank);
  // The shown board of a mode and pace, one run a player (their best), fastest first.
  bool Best(int flies, int speed, Pace pace, int limit, int64_t offset, Page* out);
  // Every mode's board of rounds as dealt at once, in the order of kReplayFlies then
  // kReplaySpeeds (replay/core/replay_bounds.h).
  bool AllBest(int limit, std::vector<Page>* out);
  // Where a player's best of a mode's board stands (0 when they have none shown).
  bool PlayerRank(int flies, int speed, Pace pace, const std::string& fold, int64_t* rank);
  // A player's shown runs, a page of them by mode and pace, each board's fastest first
  // (each run's `best` says whether it is the player's best there); and, for the charts,
  // each of those boards' runs in the order they were stored, the newest
  // kPlayerChartRuns of a board; and the player.
  bool PlayerRuns(const std::string& fold, int limit, int64_t offset, Player* player, bool* found,
                  Page* out, std::vector<Run>* attempts);
  // A shown run, and where it stands (or would stand) on its mode's board of its pace.
  bool ShownRun(int64_t id, Run* out, int64_t* rank, bool* found);
  // Shown runs that were the best of their mode's board of rounds as dealt when they went
  // on it, newest first.
  bool Records(int limit, Page* out);
  // A shown run's replay; with `any_state`, any run's (for the operator's review).
  bool Replay(int64_t id, bool any_state, std::string* bytes, bool* found);
  bool BoardSecret(std::string* secret);
  // Gives the board its secret (for review links and the feed's id) if it has none.
  bool EnsureSecret();

  // The operator's side (zumble-board admin). Each change is one transaction with its
  // audit row, and moves the generation. False with *why set when the change does not
  // apply (no such run, not held, name taken...).
  bool ListRuns(const RunFilter& filter, int limit, int64_t offset, Page* out);
  bool FindRun(int64_t id, Run* out, bool* found);
  // A run that goes on the board for the first time claims its name if nobody has: with
  // the key its sender was given when it was held, or a new one put in *key (may be
  // null) for the operator to pass on; one whose name another player claimed meanwhile
  // is refused. Rejecting frees a name none of whose runs went on the board.
  bool SetRunState(int64_t id, const std::vector<std::string>& from, const std::string& to,
                   const std::string& action, const std::string& actor, const std::string& reason,
                   std::string* why, std::string* key = nullptr);
  // A name nobody has yet can be banned too: it is kept, banned, and nobody can claim it.
  bool BanName(const std::string& name, const std::string& fold, bool banned,
               const std::string& actor, const std::string& reason, std::string* why);
  bool BanAddress(const std::string& address, bool banned, const std::string& actor,
                  const std::string& reason, std::string* why);
  bool Rename(const std::string& old_fold, const std::string& name, const std::string& fold,
              const std::string& actor, const std::string& reason, std::string* why);
  bool ResetKey(const std::string& fold, const std::string& key_hash, const std::string& actor,
                const std::string& reason, std::string* why);
  bool Audit(int limit, int64_t offset, std::vector<AuditRow>* out, int64_t* total);

  // At start: the stored names folded as FoldName folds them now (store_names.cpp). Of
  // names that now fold alike, the oldest player keeps its name and the others are
  // renamed NAME-2, NAME-3...; each change is an audit row. *told gets a line for the
  // operator for each player renamed and for stored names the rules would refuse today.
  bool FoldStoredNames(std::vector<std::string>* told);
  // Filing the runs stored before the board knew how each round was dealt, by the
  // board's start (verify/refile.h). Up to `limit` unfiled runs after id `after`, in id
  // order: those never looked at, and those whose kept line does not say.
  bool Unfiled(int64_t after, int limit, std::vector<UnfiledRun>* out);
  // Files a run under its pace with its swats (and their frames, when the line gives
  // them: a copy moved a frame or two is told as KeepSwatFrames tells it) and the
  // verifier's line. When another run
  // has the same mode, seed and swats, the older keeps them and the other is a copy:
  // hidden if shown, and the audit table says so (*copy_of is the older run, else 0).
  // A shown run that would take one of the top `review_top` places of its board is held
  // instead, awaiting review (*awaiting), as a new run would be.
  bool FileRun(int64_t id, int64_t rate_keys, const std::string& swats,
               const std::string& swat_frames, const std::string& verdict, int review_top,
               int64_t* copy_of, bool* awaiting);
  // Runs filed before the board kept swat frames (schema 4), up to `limit` after id
  // `after`, in id order: those with swats and a seed, the frames to compare them by.
  bool WithoutSwatFrames(int64_t after, int limit, std::vector<UnfiledRun>* out);
  // Keeps a run's swat frames ("-": the game no longer gives them, not to be looked at
  // again). When another run of its mode and seed has every swat within kNearFrames of
  // these, the older keeps the round and the other is a copy, as FileRun's (*copies: how
  // many runs came off so).
  bool KeepSwatFrames(int64_t id, const std::string& swat_frames, int* copies);
  // The game refuses a stored run's replay now (or plays it to another result): the run
  // stays on no board, its line kept so it is not looked at again, and the audit table
  // says why.
  bool LeaveUnfiled(int64_t id, const std::string& line, const std::string& why);
  // A mode's record and personal-best flags measured again, each board of a pace apart,
  // in the order the runs went on the board.
  bool MeasureFlagsAgain(int flies, int speed);

  // Review by moderators (store_review.cpp). A moderator is a name with a key of their
  // own; the board keeps the key's hash. Adding or removing one is an audit row.
  bool AddModerator(const std::string& name, const std::string& key_hash, const std::string& actor,
                    std::string* why);
  bool RemoveModerator(const std::string& name, const std::string& actor, std::string* why);
  bool Moderators(std::vector<std::string>* names);
  // The moderator whose key has this hash (*found false for none).
  bool ModeratorOfKey(const std::string& key_hash, std::string* name, bool* found);
  // Runs awaiting review (held without signs: a place at the top of their board waits
  // for a moderator), of one board or one player (fold), oldest first.
  bool AwaitingRuns(int flies, int speed, Pace pace, int limit, std::vector<Run>* out);
  bool PendingRuns(const std::string& fold, int limit, std::vector<Run>* out);

  // The clips' claims (store_clips.cpp): which server makes a run's clip.
  enum class ClipClaim { kClaimed, kTaken, kOverBudget, kNotWanted };
  // Claims run `id`'s clip for `server` when the run is wanted (held for review, or its
  // player's best on its board: every run of a board's first page is one) and nobody
  // made it, failed it or holds a claim made after `stale_before`; and when its sender's
  // clips of the last day, with this one's `seconds`, stay within `budget_seconds`.
  bool ClaimClip(int64_t id, const std::string& server, int64_t now, int64_t stale_before,
                 int64_t seconds, int64_t budget_seconds, ClipClaim* out, std::string* why);
  // What came of a claimed clip ("made" or "failed", with why).
  bool FinishClip(int64_t id, const std::string& server, const std::string& state,
                  const std::string& why);
  // A claim's state ("" none), its server and when it was taken.
  bool ClipClaimOf(int64_t id, std::string* state, std::string* server, int64_t* at);
  // The claim is let go (its files were removed): the clip is made again if wanted.
  bool DropClipClaim(int64_t id);
  // Whether the run's clip is wanted (as ClaimClip says), and the wanted runs, newest
  // first.
  bool ClipWanted(int64_t id, bool* wanted);
  bool WantedClips(int limit, std::vector<int64_t>* ids);

  virtual int SchemaVersion() = 0;
  virtual std::string LastError() = 0;
  virtual StoreUsage Usage() = 0;
  // The runs held for review now (store_counts.cpp).
  bool HeldRuns(int64_t* count);

protected:
  // Runs body on one connection. A write runs in a transaction that takes the write
  // lock at once, committed when body returns true and rolled back otherwise; a read
  // runs each statement by itself.
  virtual bool Session(bool write, const std::function<bool(SqlSession&)>& body) = 0;
  // Records why a step of the board's own failed (not a database error).
  virtual bool Fail(const std::string& why) = 0;
  // Within a write: waits for any other session deciding on a held run from this sender
  // until its transaction ends, so that the held runs are counted one session at a time.
  // SQLite's writes are one at a time already.
  virtual bool LockSender(SqlSession&, const std::string&) { return true; }
  // Likewise for the runs of one mode and seed, so that two servers never each store
  // one of two copies whose swats are a frame apart (no unique index can say "near").
  virtual bool LockSeed(SqlSession&, int, int, int64_t) { return true; }
};

// "postgresql://..." or "postgres://..." opens PostgreSQL, anything else is a SQLite
// file. On failure returns null and says why in *error.
std::unique_ptr<Store> OpenStore(const std::string& where, int connections, std::string* error);
bool IsPostgresUrl(const std::string& where);

std::unique_ptr<Store> OpenSqlite(const std::string& path, int connections, std::string* error);
// The schema version this server brings a SQLite board to.
int SqliteSchemaLatest();
std::unique_ptr<Store> OpenPostgres(const std::string& url, int connections, std::string* error);

}  // namespace board
