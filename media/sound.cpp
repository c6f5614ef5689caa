// The sound slots: set-up, loading from the WAVE files, refill on re-activation, release.

#include "media/sound.h"

#include "media/game_window.h"
#include "platform/stand_in/sound_log.h"

LPDIRECTSOUND lpDS = nullptr;
LPDIRECTSOUNDBUFFER SND_CRY = nullptr;
LPDIRECTSOUNDBUFFER SND_SWING_A = nullptr;
LPDIRECTSOUNDBUFFER SND_SWING_B = nullptr;
LPDIRECTSOUNDBUFFER SND_HIT_1 = nullptr;
LPDIRECTSOUNDBUFFER SND_HIT_2 = nullptr;
LPDIRECTSOUNDBUFFER SND_HIT_3 = nullptr;
LPDIRECTSOUNDBUFFER SND_BUTTON = nullptr;
LPDIRECTSOUNDBUFFER SND_OK = nullptr;
LPDIRECTSOUNDBUFFER SND_TCLICK_1 = nullptr;
LPDIRECTSOUNDBUFFER SND_TCLICK_2 = nullptr;
LPDIRECTSOUNDBUFFER SND_BGM = nullptr;

namespace {

struct SoundSlot {
    LPDIRECTSOUNDBUFFER* slot;
    const char* path;
    LONG volume;
    const char* name;
};

// In loading order. The first ten form the table that start-up empties.
// clang-format off
const SoundSlot kSlots[] = {
    {&SND_CRY, "wave\\cry1.wav", -1500, "SND_CRY"},
    {&SND_SWING_A, "wave\\swing1.wav", -200, "SND_SWING_A"},
    {&SND_SWING_B, "wave\\swing1.wav", -200, "SND_SWING_B"},
    {&SND_HIT_1, "wave\\hit1.wav", -1000, "SND_HIT_1"},
    {&SND_HIT_2, "wave\\hit1.wav", -1000, "SND_HIT_2"},
    {&SND_HIT_3, "wave\\hit1.wav", -1000, "SND_HIT_3"},
    {&SND_BUTTON, "wave\\button1.wav", 0, "SND_BUTTON"},
    {&SND_OK, "wave\\ok1.wav", 0, "SND_OK"},
    {&SND_TCLICK_1, "wave\\tclick1.wav", -500, "SND_TCLICK_1"},
    {&SND_TCLICK_2, "wave\\tclick2.wav", -500, "SND_TCLICK_2"},
    {&SND_BGM, "wave\\bgm1.wav", -1500, "SND_BGM"},
};
// clang-format on
constexpr int kTableSlots = 10;
constexpr int kSlotCount = kSoundSlotCount;
static_assert(sizeof kSlots / sizeof kSlots[0] == kSlotCount);

// Re-activation refills the title clicks the other way round.
constexpr int kRestoreOrder[kSlotCount] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 8, 10};

// Loads one slot and names its buffer for the sound log.
int LoadSlot(const SoundSlot& s) {
    const int ok = LoadWave(s.path, lpDS, s.slot);
    if (*s.slot != nullptr) SetSoundLogName(*s.slot, s.name);
    return ok;
}

}  // namespace

void EmptySoundTable() {
    for (int i = 0; i < kTableSlots; ++i) *kSlots[i].slot = nullptr;
}

void TakeSoundSlots(LPDIRECTSOUNDBUFFER kept[kSoundSlotCount]) {
    for (int i = 0; i < kSlotCount; ++i) {
        kept[i] = *kSlots[i].slot;
        *kSlots[i].slot = nullptr;
    }
}

void GiveBackSoundSlots(const LPDIRECTSOUNDBUFFER kept[kSoundSlotCount]) {
    for (int i = 0; i < kSlotCount; ++i) *kSlots[i].slot = kept[i];
}

int InitSound() {
    if (DirectSoundCreate(nullptr, &lpDS, nullptr) != DS_OK) {
        lpDS = nullptr;
        return 0;
    }
    if (lpDS->SetCooperativeLevel(hWnd, DSSCL_NORMAL) != DS_OK) return 0;
    for (const SoundSlot& s : kSlots) {
        if (!LoadSlot(s)) *s.slot = nullptr;
    }
    for (const SoundSlot& s : kSlots) {
        if (*s.slot != nullptr) (*s.slot)->SetVolume(s.volume);
    }
    if (SND_BGM != nullptr) SND_BGM->Play(0, 0, DSBPLAY_LOOPING);
    return 1;
}

void RestoreSound() {
    if (SND_BGM == nullptr) return;
    // The buzz's buffer stands for all of them: if it cannot be restored, none can.
    // Without one there is nothing to ask, and the refill below gives it another chance.
    if (SND_CRY != nullptr && SND_CRY->Restore() != DS_OK) return;
    for (int i : kRestoreOrder) {
        if (!LoadSlot(kSlots[i])) return;
    }
}

void ReleaseSound() {
    if (SND_BGM != nullptr) SND_BGM->Stop();
    if (lpDS != nullptr) lpDS->Release();
    lpDS = nullptr;
    // The buffers ended with the DirectSound object: keep no pointers to them.
    for (const SoundSlot& s : kSlots) *s.slot = nullptr;
}

void PlayOnce(LPDIRECTSOUNDBUFFER slot) {
    if (slot != nullptr) slot->Play(0, 0, 0);
}

namespace {

bool IsPlaying(LPDIRECTSOUNDBUFFER slot) {
    DWORD status = 0;
    slot->GetStatus(&status);
    return status == DSBSTATUS_PLAYING;
}

}  // namespace

// Three copies of the hit sound, so that quick swats do not cut each other off.
void PlayHitSound() {
    if (SND_HIT_1 == nullptr) return;
    if (!IsPlaying(SND_HIT_1)) {
        PlayOnce(SND_HIT_1);
    } else if (SND_HIT_2 != nullptr) {
        PlayOnce(IsPlaying(SND_HIT_2) ? SND_HIT_3 : SND_HIT_2);
    }
}
