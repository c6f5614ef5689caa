#include "shell/driver/room_entry.h"

#include <cstdio>
#include <cstring>

#include "platform/services/http_post.h"
#include "platform/services/options.h"
#include "replay/json_scan.h"
#include "replay/room_address.h"
#include "replay/room_race.h"

namespace {

// What a refusal of the join means to the player, by the board's code (docs/rooms.md).
const char* Meaning(const char* code) {
    static const struct {
        const char* code;
        const char* text;
    } kMeanings[] = {
        {"no_room", "there is no such room (now): rooms end when nobody is in them"},
        {"room_full", "the room is full"},
        {"name_taken", "that name has a key on the board: give it with --key"},
        {"bad_key", "that is not the name's key"},
        {"name_in_room", "someone in the room has that name, or one like it"},
        {"bad_name", "the board takes no such name"},
        {"banned", "that name may not race on this board"},
    };
    for (const auto& m : kMeanings)
        if (std::strcmp(code, m.code) == 0) return m.text;
    return nullptr;
}

int Refused(const char* what) {
    std::fprintf(stderr, "zumble: --room %s: %s\n", g_Options.room.c_str(), what);
    return 2;
}

}  // namespace

int JoinRoomOfOptions(std::string* liveUrl) {
    if (g_Options.room.empty()) return -1;
    RoomAddress room;
    char why[160], live[512];
    if (!ReadRoomLink(g_Options.room.c_str(), &room, why, sizeof why)) return Refused(why);
    if (room.pass[0]) {
        // The racer's own address: back into the room under the pass.
        RoomLiveUrl(room, room.pass, live, sizeof live);
        *liveUrl = live;
        return -1;
    }
    char url[512], body[1024], answer[4096], error[256];
    RoomJoinUrl(room, url, sizeof url);
    if (!RoomJoinBody(g_Options.roomName.c_str(), g_Options.roomKey.c_str(), body, sizeof body))
        return Refused("the name or the key is too long");
    const int status = HttpPostJson(url, body, answer, sizeof answer, error, sizeof error);
    if (status < 0) return Refused(error);
    JsonSpan doc{}, value{};
    char pass[65] = {}, code[32] = {}, message[256] = {};
    const bool json = JsonDocument(answer, std::strlen(answer), &doc);
    if (status == 201 && json && JsonMember(doc, "racer", &value) &&
        JsonText(value, pass, sizeof pass) && pass[0]) {
        for (const char* c = pass; *c; ++c)
            if (!std::strchr("0123456789abcdefABCDEF", *c))
                return Refused("the board's answer has no pass");
        RoomLiveUrl(room, pass, live, sizeof live);
        *liveUrl = live;
        return -1;
    }
    if (json && JsonMember(doc, "error", &value)) JsonText(value, code, sizeof code);
    if (json && JsonMember(doc, "message", &value)) JsonText(value, message, sizeof message);
    const char* meaning = Meaning(code);
    char line[400];
    if (code[0])
        std::snprintf(line, sizeof line, "%s (%s)",
                      meaning      ? meaning
                      : message[0] ? message
                                   : "refused",
                      code);
    else
        std::snprintf(line, sizeof line, "the board answered %d, not a racer's pass", status);
    return Refused(line);
}

int EnterJoinedRoom(const std::string& liveUrl) {
    if (liveUrl.empty()) return -1;
    char error[256];
    if (!StartRoomRace(liveUrl.c_str(), error, sizeof error)) return Refused(error);
    SetRoomRacerName(g_Options.roomName.c_str());
    return -1;
}
