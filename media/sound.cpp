// Stand-in until sound lands: no DirectSound, every slot empty.
#include "media/sound.h"

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

void EmptySoundTable() {}
int InitSound() { return 1; }
int LoadWave(const char*, LPDIRECTSOUND, LPDIRECTSOUNDBUFFER*) { return 0; }
long FindChunk(const char*, const BYTE*, long) { return -1; }
void RestoreSound() {}
void ReleaseSound() {}
void PlayOnce(LPDIRECTSOUNDBUFFER slot) {
    if (slot) slot->Play(0, 0, 0);
}
