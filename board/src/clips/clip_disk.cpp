#include "clips/clip_disk.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "clips/clip_queue.h"
#include "store/store.h"

namespace board {

namespace {

struct KeptClip {
  int64_t id = 0;
  int64_t bytes = 0;  // its clip, still and marks together
  time_t newest = 0;  // when its last file was written
};

// The folder's files by run: "ID.webm", "ID.png", "ID.failed".
bool ReadClips(const std::string& dir, std::vector<KeptClip>* out, int64_t* total) {
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  std::map<int64_t, KeptClip> by_run;
  *total = 0;
  while (dirent* e = readdir(d)) {
    char* end = nullptr;
    long long id = strtoll(e->d_name, &end, 10);
    if (id <= 0 || !end || *end != '.') continue;
    struct stat st {};
    if (stat((dir + "/" + e->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    KeptClip& k = by_run[id];
    k.id = id;
    k.bytes += st.st_size;
    k.newest = std::max(k.newest, st.st_mtime);
    *total += st.st_size;
  }
  closedir(d);
  for (auto& [id, k] : by_run) out->push_back(k);
  std::sort(out->begin(), out->end(), [](const KeptClip& a, const KeptClip& b) {
    return a.newest != b.newest ? a.newest < b.newest : a.id < b.id;
  });
  return true;
}

}  // namespace

void KeepClipsWithinBudget(ClipQueue* q) {
  if (q->disk_bytes <= 0 || q->dir.empty()) return;
  std::vector<KeptClip> clips;
  int64_t total = 0;
  if (!ReadClips(q->dir, &clips, &total) || total <= q->disk_bytes) return;
  for (const KeptClip& k : clips) {
    if (total <= q->disk_bytes) return;
    {
      std::lock_guard<std::mutex> hold(q->lock);
      if (q->making == k.id || q->queued.count(k.id)) continue;
    }
    bool wanted = true;
    if (!q->store->ClipWanted(k.id, &wanted) || wanted) continue;
    for (const char* ext : {"webm", "png", "failed"})
      unlink((q->dir + "/" + std::to_string(k.id) + "." + ext).c_str());
    // Let go of the claim: should the run be wanted again, its clip is made again.
    if (!q->store->DropClipClaim(k.id))
      fprintf(stderr, "zumble-board: clips: database: %s\n", q->store->LastError().c_str());
    total -= k.bytes;
    std::lock_guard<std::mutex> hold(q->lock);
    ++q->removed;
    fprintf(stderr,
            "zumble-board: clip of run %lld removed for room (%lld bytes): no longer on a first "
            "page or a player's best\n",
            static_cast<long long>(k.id), static_cast<long long>(k.bytes));
  }
  if (total > q->disk_bytes)
    fprintf(stderr,
            "zumble-board: clips: %lld MB kept over the budget of %lld MB: every clip left is "
            "wanted\n",
            static_cast<long long>(total >> 20), static_cast<long long>(q->disk_bytes >> 20));
}

}  // namespace board
