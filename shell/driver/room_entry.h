#pragma once
// `zumble --room LINK --name NAME [--key KEY]`: the room joined before the game starts,
// then the game put in it once it is set up.

#include <string>

// Joins the room (a request to the board, a few seconds at most) and keeps the racer's
// live address in *liveUrl (empty without --room): -1 to go on, or 2 with one clear line
// printed (a bad link, no such room, a full room, a name taken or another's, a board that
// cannot be reached).
int JoinRoomOfOptions(std::string* liveUrl);
// Puts the game in the room joined: -1 to go on, or 2 with its line printed.
int EnterJoinedRoom(const std::string& liveUrl);
