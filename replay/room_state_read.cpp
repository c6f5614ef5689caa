#include "replay/room_state_read.h"

#include <cstring>

#include "replay/json_scan.h"

namespace {

// A clock or a time the board gives: no round lasts more than a day.
constexpr long long kMostMs = 24ll * 3600 * 1000;

// An optional integer member: false only when it is there and not a fitting integer.
bool OptionalInteger(JsonSpan object, const char* key, long long most, long* out) {
    JsonSpan value;
    if (!JsonMember(object, key, &value)) return true;
    long long v = 0;
    if (!JsonInteger(value, 0, most, &v)) return false;
    *out = static_cast<long>(v);
    return true;
}

bool OptionalWord(JsonSpan object, const char* key, char* out, std::size_t size) {
    JsonSpan value;
    out[0] = 0;
    if (!JsonMember(object, key, &value)) return true;
    // A word longer than any the board uses now is shown as none, not refused.
    if (!JsonText(value, out, size)) out[0] = 0;
    return *value.begin == '"';
}

// One row of a race's results.
bool ReadResult(JsonSpan row, RoomRacerView* out) {
    *out = RoomRacerView{};
    out->swats = -1;
    out->clockMs = -1;
    out->deltaMs = -1;
    out->timeMs = -1;
    JsonSpan value;
    long swats = -1;
    if (!JsonMember(row, "name", &value) || !JsonText(value, out->name, sizeof out->name) ||
        !OptionalWord(row, "status", out->status, sizeof out->status) ||
        !OptionalWord(row, "reason", out->reason, sizeof out->reason) ||
        !OptionalInteger(row, "time_ms", kMostMs, &out->timeMs) ||
        !OptionalInteger(row, "swats", 1000000, &swats) ||
        !OptionalInteger(row, "clock_ms", kMostMs, &out->clockMs) ||
        !OptionalInteger(row, "delta_ms", kMostMs, &out->deltaMs))
        return false;
    out->swats = static_cast<int>(swats);
    return true;
}

bool ReadRace(JsonSpan race, RoomRaceRead* out) {
    JsonSpan value, at, row;
    long long number = 0;
    if (!JsonMember(race, "number", &value) || !JsonInteger(value, 1, 1ll << 30, &number))
        return false;
    out->number = static_cast<int>(number);
    long long seed = 0;
    out->seeded = JsonMember(race, "seed", &value);
    if (out->seeded) {
        if (!JsonInteger(value, 0, 0xFFFFFFFFll, &seed)) return false;
        out->seed = static_cast<std::uint32_t>(seed);
    }
    if (!OptionalInteger(race, "starts_in_ms", kMostMs, &out->startsInMs)) return false;
    out->resultCount = 0;
    if (!JsonMember(race, "results", &value)) return true;
    if (!JsonArrayStart(value, &at)) return false;
    // The board lists at most the room's racers; any more are not shown.
    while (JsonArrayNext(&at, &row))
        if (out->resultCount < kRoomMostRacers &&
            !ReadResult(row, &out->results[out->resultCount++]))
            return false;
    return true;
}

int FlySettingOf(long long flies) {
    switch (flies) {
    case 10: return 0;
    case 30: return 1;
    case 100: return 2;
    case 1000: return 3;
    default: return -1;
    }
}

}  // namespace

bool ReadRoomState(const char* text, std::size_t size, RoomStateRead* out) {
    JsonSpan doc, value, at, row, last;
    if (size > kRoomMostMessage || !JsonDocument(text, size, &doc)) return false;
    char state[16];
    if (!JsonMember(doc, "state", &value) || !JsonText(value, state, sizeof state)) return false;
    if (std::strcmp(state, "lobby") == 0)
        out->state = RoomStateWord::kLobby;
    else if (std::strcmp(state, "countdown") == 0)
        out->state = RoomStateWord::kCountdown;
    else if (std::strcmp(state, "racing") == 0)
        out->state = RoomStateWord::kRacing;
    else
        return false;
    long long flies = 0, speed = 0;
    if (!JsonMember(doc, "flies", &value) || !JsonInteger(value, 0, 1000, &flies)) return false;
    if (!JsonMember(doc, "speed", &value) || !JsonInteger(value, 1, 4, &speed)) return false;
    out->flySetting = FlySettingOf(flies);
    if (out->flySetting < 0) return false;
    out->speedSetting = static_cast<int>(speed) - 1;

    out->racerCount = 0;
    if (!JsonMember(doc, "racers", &value) || !JsonArrayStart(value, &at)) return false;
    while (JsonArrayNext(&at, &row)) {
        if (out->racerCount >= kRoomMostRacers) continue;
        RoomRacerView& r = out->racers[out->racerCount++];
        r = RoomRacerView{};
        r.swats = -1;
        r.clockMs = r.deltaMs = r.timeMs = -1;
        if (!JsonMember(row, "name", &value) || !JsonText(value, r.name, sizeof r.name))
            return false;
        if (JsonMember(row, "ready", &value) && !JsonBoolean(value, &r.ready)) return false;
    }

    out->hasRace = out->state != RoomStateWord::kLobby;
    if (out->hasRace && (!JsonMember(doc, "race", &value) || !ReadRace(value, &out->race)))
        return false;
    out->hasLast = false;
    if (JsonMember(doc, "races", &value)) {
        if (!JsonArrayStart(value, &at)) return false;
        // The newest comes last.
        while (JsonArrayNext(&at, &row)) {
            last = row;
            out->hasLast = true;
        }
        if (out->hasLast && !ReadRace(last, &out->last)) return false;
    }
    return true;
}

bool ReadRoomResume(const char* text, std::size_t size, std::uint32_t* bytes) {
    JsonSpan doc, resume, value;
    long long n = 0;
    if (size > kRoomMostMessage || !JsonDocument(text, size, &doc) ||
        !JsonMember(doc, "resume", &resume) || !JsonMember(resume, "bytes", &value) ||
        !JsonInteger(value, 0, 0xFFFFFFFFll, &n))
        return false;
    *bytes = static_cast<std::uint32_t>(n);
    return true;
}
