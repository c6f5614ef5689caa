// The round's state is listed once (scenes/round_state.h), and every writable global of
// the game's code is either in that list or named here as an exception with its reason:
// the objects of shell/, media/, objects/, scenes/ and replay/ are read with objdump, so a
// global added to the game and to neither list fails this test, as does a name either
// list keeps after its global is gone.
#include "scenes/round_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Names {
    std::set<std::string> names;
    template <class T>
    void Checked(const char* name, T&) {
        names.insert(name);
    }
    template <class T>
    void Kept(const char* name, T&) {
        names.insert(name);
    }
    template <class L>
    void List(const char* name, L&) {
        names.insert(name);
    }
    void Random() {}
    void Cursor() {}
};

struct Exception {
    const char* file;  // the source, from the top of the tree
    std::vector<const char*> names;
    const char* why;
};

// Writable globals that are not a round's state. Function statics are named as the
// compiler names them ("Function(arguments)::name").
// clang-format off
const Exception kExceptions[] = {
    {"media/random.cpp", {"state"}, "the random sequence: the list's Random()"},
    {"objects/instances.cpp", {"TitleLetters", "TitleSign"}, "the title's animation, which no round reads"},
    {"scenes/best_times.cpp", {"SavedTimes", "g_follower"}, "what hiscoa.sav holds and who follows its saves"},
    {"media/game_window.cpp", {"hWnd"}, "the window, made at start-up"},
    {"media/display.cpp",
     {"lpDD", "lpFRONTSURFACE", "lpBACKSURFACE", "lpSPRITESURFACE", "lpPALETTE", "g_startPalette"},
     "the display and its surfaces: a scene's bitmap changes only as a scene begins"},
    {"media/sound.cpp",
     {"lpDS", "SND_CRY", "SND_SWING_A", "SND_SWING_B", "SND_HIT_1", "SND_HIT_2", "SND_HIT_3", "SND_BUTTON", "SND_OK",
      "SND_TCLICK_1", "SND_TCLICK_2", "SND_BGM"},
     "the sound objects, made at start-up"},
    {"media/load_report.cpp", {"g_sink"}, "where load failures go, set at start-up"},
    {"shell/globals.cpp", {"hInst"}, "the program instance"},
    {"shell/error_log.cpp", {"errorLog"}, "error.txt's lines"},
    {"shell/trace.cpp", {"g_trace"}, "the trace file"},
    {"shell/autoplay.cpp", {"lastClickFrame", "leftBoard"}, "the test player's own"},
    {"shell/winmain.cpp", {"g_retryPending"}, "set only as R leaves a round: no frame of a round holds it"},
    {"shell/driver/game_run.cpp",
     {"PlayRun()::commandLine", "PrepareVerifyStream(char const*, void (*)())::verify",
      "PrepareVerifyStream(char const*, void (*)())::path"},
     "the command line's words"},
    {"shell/driver/reference_round.cpp", {"g_kept", "g_aside"}, "the splits' reference round itself"},
    {"shell/driver/splits_run.cpp", {"g_splits", "g_race"}, "the splits and the race beside the round"},
    {"shell/driver/clip_run.cpp", {"g_clip"}, "the clip being made"},
    {"replay/replay_play.cpp",
     {"g_play", "LoadReplay(char const*, bool)::rule", "FinishReplayPlayback(bool, int)::m"},
     "playback's own, beside the round (the viewer keeps where it stands apart)"},
    {"replay/playback_position.cpp", {"g_PlaybackAt", "g_PlaybackCloseSent"}, "where playback stands: the viewer keeps it"},
    {"replay/replay_viewer.cpp", {"g_view"}, "the viewer's own"},
    {"replay/replay_live.cpp", {"g_live"}, "a round watched as it is played: its bytes as they came, input"},
    {"replay/replay_record.cpp", {"g_rec", "g_pendingBreaks"}, "the recording of the round"},
    {"replay/room_race.cpp", {"g_room", "g_hooked"}, "the room the game races in, and its connection"},
    {"replay/replay_measure.cpp", {"g_m"}, "the signs measured while a replay is verified (nothing seeks)"},
    {"replay/history_file.cpp",
     {"g_recent", "ReadHistory(void (*)(HistoryRound const&, void*), void*, int*)::line"},
     "history.txt"},
};
// clang-format on

// file -> the writable data symbols its object defines, from objdump's table.
std::map<std::string, std::set<std::string>> WritableGlobals(const std::filesystem::path& objects) {
    std::map<std::string, std::set<std::string>> out;
    for (const char* folder : {"shell", "media", "objects", "scenes", "replay"}) {
        if (!std::filesystem::exists(objects / folder)) continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(objects / folder)) {
            const std::string path = entry.path().string();
            if (entry.path().extension() != ".o") continue;
            std::string file = std::filesystem::relative(entry.path(), objects).string();
            file.resize(file.size() - 2);  // "x.cpp.o" -> "x.cpp"
            std::FILE* pipe = popen(("objdump -t -C '" + path + "'").c_str(), "r");
            if (!pipe) continue;
            char line[4096];
            while (std::fgets(line, sizeof line, pipe)) {
                // "ADDRESS FLAGS SECTION<tab>SIZE NAME"
                std::string text(line);
                if (!text.empty() && text.back() == '\n') text.pop_back();
                const std::size_t tab = text.find('\t');
                if (tab == std::string::npos) continue;
                const std::string head = text.substr(0, tab);
                if (head.find(" O ") == std::string::npos) continue;
                const std::string section = head.substr(head.rfind(' ') + 1);
                const bool writable =
                    (section.rfind(".bss", 0) == 0 || section.rfind(".data", 0) == 0 ||
                     section.rfind(".tbss", 0) == 0 || section.rfind(".tdata", 0) == 0) &&
                    section.rfind(".data.rel.ro", 0) != 0;
                if (!writable) continue;
                std::string name = text.substr(text.find(' ', tab + 1) + 1);
                // The compiler's and the sanitizers' own: exception tables' references,
                // statics' guards, reserved names (two underscores).
                if (name.rfind(".hidden ", 0) == 0 || name.rfind("guard variable for ", 0) == 0 ||
                    name.rfind("__", 0) == 0)
                    continue;
                const std::string anonymous = "(anonymous namespace)::";
                if (name.rfind(anonymous, 0) == 0) name.erase(0, anonymous.size());
                out[file].insert(name);
            }
            pclose(pipe);
        }
    }
    return out;
}

TEST(RoundState, EveryWritableGlobalIsListedOrNamedAnException) {
    const std::filesystem::path objects =
        std::filesystem::path(ZUMBLE_BINARY_DIR) / "CMakeFiles" / "zumble_lib.dir";
    const auto globals = WritableGlobals(objects);
    ASSERT_TRUE(globals.count("scenes/play.cpp")) << "no objects read under " << objects;
    Names listed;
    VisitRoundState(listed);
    std::set<std::string> seen;
    for (const auto& [file, names] : globals) {
        for (const std::string& name : names) {
            bool excused = false;
            for (const Exception& e : kExceptions)
                for (const char* n : e.names) excused = excused || (file == e.file && name == n);
            if (listed.names.count(name))
                seen.insert(name);
            else if (!excused)
                ADD_FAILURE() << file << ": the writable global '" << name
                              << "' is neither in the round's state (scenes/round_state.h) nor a "
                                 "named exception here";
        }
    }
    for (const std::string& name : listed.names)
        EXPECT_TRUE(seen.count(name))
            << "the round's state lists '" << name << "', which no object defines";
    for (const Exception& e : kExceptions) {
        const auto file = globals.find(e.file);
        for (const char* n : e.names)
            EXPECT_TRUE(file != globals.end() && file->second.count(n))
                << e.file << " defines no '" << n << "' now";
    }
}

}  // namespace
