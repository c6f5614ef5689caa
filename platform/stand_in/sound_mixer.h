#pragma once
// Inside the DirectSound stand-in: the buffers' state and the mixer that plays them.
// The mix runs at one fixed format, MIX_RATE Hz stereo. Every buffer is converted to
// 16-bit samples at MIX_RATE, keeping its own channel count, when it is filled (Unlock),
// so mixing is only adding scaled samples. MIX_RATE is the rate of all the game's sounds:
// loading them converts nothing but the sample type, and keeps them as small as the files.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/stand_in/dsound.h"

constexpr int MIX_RATE = 22050;
constexpr int MIX_CHANNELS = 2;

struct IDirectSoundBuffer::State {
    IDirectSound* owner = nullptr;
    WAVEFORMATEX format{};
    std::vector<BYTE> samples;  // in the buffer's own format: what Lock hands out
    // Read by the mixer (under MixerLock): 16-bit frames of `channels` samples at
    // MIX_RATE. Empty until the buffer is first filled: it then plays `frames` of silence.
    std::vector<std::int16_t> mixed;
    int channels = 1;
    std::size_t frames = 0;
    std::size_t position = 0;  // next frame of mixed to play
    bool playing = false;
    bool looping = false;
    float gain = 1.0f;
    LONG volume = 0;
    char logName[32] = "-";
};

// Guards the buffers' playing state against the audio device's thread. Hold it only for
// a few assignments: the device waits for it.
void MixerLock();
void MixerUnlock();

// Adds the buffer to (or takes it from) the set the mixer plays.
void MixerAdd(IDirectSoundBuffer* buffer);
void MixerRemove(IDirectSoundBuffer* buffer);

// Renders the next frames of the mix as interleaved signed 16-bit stereo and advances
// every playing buffer. Called by the device, or once per flip without one. With `out`
// null it makes no sample: every buffer and fade moves on exactly as far.
void MixAudio(std::int16_t* out, int frames);

// Nobody hears this run (a verification, a headless run that records nothing): from the
// start, the mixer only moves the buffers on, as mixing would, and a filled buffer keeps
// its length without its samples converted. Whether a buffer plays, and where, stays
// exactly as in a run that mixes. Set it before the first buffer is made.
void SetSoundUnheard(bool unheard);
bool SoundUnheard();

// Without a device: the mix rendered at the last flip (its `frames` frames of interleaved
// stereo), which a clip of the run takes along with the frame.
const std::int16_t* LastFlipMix(int* frames);

// Opens the audio device for the first DirectSound object; false when there is none
// (the mix is then advanced per flip and discarded). CloseMixerDevice closes it.
bool OpenMixerDevice();
void CloseMixerDevice();

// Sound side of a flip (runtime.cpp calls them): without a device that pulls the mix
// it renders exactly 1/60 s of it and hands it to the backend (the headless recording).
// AudioShutdown closes the device and finishes the recording and the sound log.
void AudioOnFlip();
void AudioShutdown();
// The replay viewer's pause, seek and other speeds: the output fades out and the buffers
// stand still; let go, the one-shots are cut and the loops fade in again.
void HoldSound(bool hold);

// Converts a buffer's samples to the mix form (the whole frames only): 16-bit at
// MIX_RATE with the format's channel count.
bool ConvertToMix(const WAVEFORMATEX& format, const BYTE* data, std::size_t bytes,
                  std::vector<std::int16_t>* out);
// How many frames ConvertToMix makes of `bytes` bytes, without making them.
bool MixFrameCount(const WAVEFORMATEX& format, std::size_t bytes, std::size_t* frames);

// Attenuation in hundredths of a decibel to a linear factor; -10000 is silence.
float VolumeToGain(LONG volume);

// The sound log (--sound-log): one line per operation the game makes on a buffer.
void SoundLogOpen();
void SoundLogOp(const IDirectSoundBuffer::State& buffer, const char* op);
void SoundLogVolume(const IDirectSoundBuffer::State& buffer, LONG value);
void SoundLogFlush();
void SoundLogClose();

// The recording of a headless run (--audio-out): a WAV file at the mix format.
void RecordFrames(const std::int16_t* samples, int frames);
void RecordFinish();
