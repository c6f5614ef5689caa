#include "replay/replay_snapshot.h"

#include <cstdint>
#include <cstring>

#include "platform/stand_in/runtime.h"
#include "scenes/round_state.h"

namespace {

// Each part of the round's state in turn, byte for byte.
struct Measure {
    std::size_t size = 0;
    template <class T>
    void Checked(const char*, T& value) {
        size += sizeof value;
    }
    template <class T>
    void Kept(const char*, T& value) {
        size += sizeof value;
    }
    template <class L>
    void List(const char*, L& list) {
        size += list.SnapshotSize();
    }
    void Random() { size += sizeof(std::uint32_t); }
    void Cursor() { size += 2 * sizeof(LONG); }
};

struct Save {
    unsigned char* out;
    void Bytes(const void* from, std::size_t size) {
        std::memcpy(out, from, size);
        out += size;
    }
    template <class T>
    void Checked(const char*, T& value) {
        Bytes(&value, sizeof value);
    }
    template <class T>
    void Kept(const char*, T& value) {
        Bytes(&value, sizeof value);
    }
    template <class L>
    void List(const char*, L& list) {
        list.SaveSnapshot(out);
        out += list.SnapshotSize();
    }
    void Random() {
        const std::uint32_t state = RandomState();
        Bytes(&state, sizeof state);
    }
    void Cursor() {
        POINT cursor{};
        GetCursorPos(&cursor);
        Bytes(&cursor.x, sizeof cursor.x);
        Bytes(&cursor.y, sizeof cursor.y);
    }
};

struct Load {
    const unsigned char* in;
    void Bytes(void* to, std::size_t size) {
        std::memcpy(to, in, size);
        in += size;
    }
    template <class T>
    void Checked(const char*, T& value) {
        Bytes(&value, sizeof value);
    }
    template <class T>
    void Kept(const char*, T& value) {
        Bytes(&value, sizeof value);
    }
    template <class L>
    void List(const char*, L& list) {
        list.LoadSnapshot(in);
        in += list.SnapshotSize();
    }
    void Random() {
        std::uint32_t state = 0;
        Bytes(&state, sizeof state);
        SeedRandom(state);
    }
    void Cursor() {
        POINT cursor{};
        Bytes(&cursor.x, sizeof cursor.x);
        Bytes(&cursor.y, sizeof cursor.y);
        SetGameCursor(static_cast<int>(cursor.x), static_cast<int>(cursor.y));
    }
};

}  // namespace

std::size_t GameSnapshotSize() {
    Measure measure;
    VisitRoundState(measure);
    return measure.size;
}

void SaveGameSnapshot(unsigned char* out) {
    Save save{out};
    VisitRoundState(save);
}

void LoadGameSnapshot(const unsigned char* in) {
    Load load{in};
    VisitRoundState(load);
}
