#pragma once
// The eleven sound slots and their loading from WAVE files.

#include "platform/stand_in/dsound.h"

extern LPDIRECTSOUND lpDS;

extern LPDIRECTSOUNDBUFFER SND_CRY;
extern LPDIRECTSOUNDBUFFER SND_SWING_A;
extern LPDIRECTSOUNDBUFFER SND_SWING_B;
extern LPDIRECTSOUNDBUFFER SND_HIT_1;
extern LPDIRECTSOUNDBUFFER SND_HIT_2;
extern LPDIRECTSOUNDBUFFER SND_HIT_3;
extern LPDIRECTSOUNDBUFFER SND_BUTTON;
extern LPDIRECTSOUNDBUFFER SND_OK;
extern LPDIRECTSOUNDBUFFER SND_TCLICK_1;
extern LPDIRECTSOUNDBUFFER SND_TCLICK_2;
extern LPDIRECTSOUNDBUFFER SND_BGM;

// Start-up empties the first ten slots (SND_BGM stands apart).
void EmptySoundTable();

// A round played out of hearing (the splits' reference) takes every slot's buffer into
// `kept` and leaves the slots empty; GiveBackSoundSlots puts them back.
constexpr int kSoundSlotCount = 11;
void TakeSoundSlots(LPDIRECTSOUNDBUFFER kept[kSoundSlotCount]);
void GiveBackSoundSlots(const LPDIRECTSOUNDBUFFER kept[kSoundSlotCount]);

int InitSound();
int LoadWave(const char* path, LPDIRECTSOUND ds, LPDIRECTSOUNDBUFFER* slot);
// Position of the first occurrence of tag in body, or -1 for none.
long FindChunk(const char* tag, const BYTE* body, long length);
void RestoreSound();
void ReleaseSound();

// Plays a slot once if it holds a buffer (the check every user makes first).
void PlayOnce(LPDIRECTSOUNDBUFFER slot);
// A swat's sound: the first of the three hit copies that is not sounding; with the first
// two busy the third starts again.
void PlayHitSound();
