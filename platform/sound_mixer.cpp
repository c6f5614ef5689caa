// Stand-in until the mixer lands.
#include "platform/dsound.h"
#include "platform/runtime.h"

void AudioOnFlip() {}
void AudioShutdown() {}
HRESULT IDirectSoundBuffer::Play(DWORD, DWORD, DWORD) { return DS_OK; }
HRESULT IDirectSoundBuffer::Stop() { return DS_OK; }
HRESULT IDirectSoundBuffer::GetStatus(DWORD* status) {
    if (status) *status = 0;
    return DS_OK;
}
HRESULT IDirectSoundBuffer::SetVolume(LONG) { return DS_OK; }
