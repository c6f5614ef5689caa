// The mixer: adds every playing buffer into the output, on the audio output's thread
// when the backend has one, otherwise a frame's worth at each flip (headless runs record
// that).

#include "platform/stand_in/sound_mixer.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/services/master_volume.h"
#include "platform/services/notice.h"
#include "platform/stand_in/backend.h"
#include "platform/stand_in/runtime.h"

namespace {

// Held by the output's thread while it mixes, and by the game only for a few assignments.
std::mutex g_Lock;
bool g_Device = false;
std::vector<IDirectSoundBuffer*> g_Buffers;
long long g_RenderedFlips = 0;

// HoldSound: the output fades to silence over a few milliseconds (no click) and then the
// buffers stand still; g_Gain follows g_GainTarget one step a frame of the mix.
float g_Gain = 1.0f;
float g_GainTarget = 1.0f;
constexpr float kGainStep = 1.0f / 256;

// The player's volume (master_volume.h). The factor goes with the square of the slider,
// which the ear hears as about even steps; 1.0 exactly at 100, so nothing changes there.
// Once the mix has begun, g_Master glides to g_MasterTarget as g_Gain does, so a mute
// makes no click; set before it, the level holds from the first sample.
int g_MasterPercent = kMasterVolumeMax;
bool g_MasterMuted = false;
float g_Master = 1.0f;
float g_MasterTarget = 1.0f;
bool g_Mixed = false;

// Nobody hears this run (a verification, a headless run that records no sound): the
// buffers move on as the mix would move them, and no sample is made or converted.
bool g_Unheard = false;

// The mix of one flip at most: MIX_RATE / 60 frames, rounded up.
constexpr int kFlipFrames = (MIX_RATE + 59) / 60;
std::int16_t g_FlipSamples[kFlipFrames * MIX_CHANNELS];
int g_FlipSampleCount = 0;

constexpr int kChunkFrames = 512;
float g_Accumulator[kChunkFrames * MIX_CHANNELS];

// Adds n frames of the buffer from its position, scaled to the accumulator's full scale
// of 1.0; a mono sound goes to both sides.
void AddFrames(const IDirectSoundBuffer::State& s, float* dst, std::size_t n) {
    if (s.mixed.empty()) return;  // not filled yet: silence
    const float scale = s.gain * (1.0f / 32768.0f);
    const std::int16_t* src = s.mixed.data() + s.position * static_cast<std::size_t>(s.channels);
    if (s.channels == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            const float v = src[i] * scale;
            dst[2 * i] += v;
            dst[2 * i + 1] += v;
        }
    } else {
        for (std::size_t i = 0; i < n * 2; ++i) dst[i] += src[i] * scale;
    }
}

// Plays `frames` frames of the buffer into the accumulator, or only moves it on when
// there is none (nobody hears the mix): position, loops and stops alike.
void MixBuffer(IDirectSoundBuffer::State& s, float* acc, int frames) {
    int done = 0;
    while (done < frames && s.playing) {
        if (s.position >= s.frames) {
            // A one-shot that reached its end stops and starts from the beginning when
            // played again; a loop wraps.
            s.position = 0;
            if (!s.looping || s.frames == 0) {
                s.playing = false;
                break;
            }
        }
        const std::size_t n =
            std::min<std::size_t>(s.frames - s.position, static_cast<std::size_t>(frames - done));
        if (acc) AddFrames(s, acc + done * MIX_CHANNELS, n);
        s.position += n;
        done += static_cast<int>(n);
        if (s.position >= s.frames && !s.looping) {
            s.position = 0;
            s.playing = false;
        }
    }
}

// One frame of the mix moves the hold's fade and the player's volume one step on.
void StepGains(bool ramp, bool glide) {
    if (ramp)
        g_Gain = g_Gain < g_GainTarget ? std::min(g_GainTarget, g_Gain + kGainStep)
                                       : std::max(g_GainTarget, g_Gain - kGainStep);
    if (glide)
        g_Master = g_Master < g_MasterTarget ? std::min(g_MasterTarget, g_Master + kGainStep)
                                             : std::max(g_MasterTarget, g_Master - kGainStep);
}

}  // namespace

void MixAudio(std::int16_t* out, int frames) {
    g_Mixed = true;
    while (frames > 0) {
        const int n = std::min(frames, kChunkFrames);
        frames -= n;
        if (g_Gain == 0.0f && g_GainTarget == 0.0f) {
            // Held and silent: nothing plays on.
            if (out) {
                std::fill(out, out + n * MIX_CHANNELS, std::int16_t{0});
                out += n * MIX_CHANNELS;
            }
            continue;
        }
        float* acc = out ? g_Accumulator : nullptr;
        if (acc) std::fill(acc, acc + n * MIX_CHANNELS, 0.0f);
        for (IDirectSoundBuffer* buffer : g_Buffers) MixBuffer(*buffer->state, acc, n);
        const bool ramp = g_Gain != 1.0f || g_GainTarget != 1.0f;
        const bool glide = g_Master != g_MasterTarget;
        if (!out) {
            if (ramp || glide)
                for (int f = 0; f < n; ++f) StepGains(ramp, glide);
            continue;
        }
        for (int i = 0; i < n * MIX_CHANNELS; ++i) {
            if (i % MIX_CHANNELS == 0) StepGains(ramp, glide);
            const float v = std::clamp(acc[i] * (ramp ? g_Gain : 1.0f) * g_Master * 32767.0f,
                                       -32768.0f, 32767.0f);
            out[i] = static_cast<std::int16_t>(std::lrint(v));
        }
        out += n * MIX_CHANNELS;
    }
}

float VolumeToGain(LONG volume) {
    if (volume <= DSBVOLUME_MIN) return 0.0f;
    return static_cast<float>(std::pow(10.0, volume / 2000.0));
}

void MixerLock() { g_Lock.lock(); }

void MixerUnlock() { g_Lock.unlock(); }

void MixerAdd(IDirectSoundBuffer* buffer) {
    MixerLock();
    g_Buffers.push_back(buffer);
    MixerUnlock();
}

void MixerRemove(IDirectSoundBuffer* buffer) {
    MixerLock();
    g_Buffers.erase(std::remove(g_Buffers.begin(), g_Buffers.end(), buffer), g_Buffers.end());
    MixerUnlock();
}

namespace {

void PullMix(std::int16_t* out, int frames) {
    const std::lock_guard<std::mutex> hold(g_Lock);
    MixAudio(out, frames);
}

}  // namespace

bool OpenMixerDevice() {
    if (!g_Device) g_Device = ActiveBackend().openAudio(PullMix);
    return g_Device;
}

void CloseMixerDevice() {
    if (!g_Device) return;
    ActiveBackend().closeAudio();
    g_Device = false;
}

void AudioOnFlip() {
    if (g_Device) return;
    // Without a device the buffers still advance by exactly 1/60 s per flip, counted
    // from the start so that the frame lengths never drift.
    const long long n = g_RenderedFlips++;
    const int frames = static_cast<int>((n + 1) * MIX_RATE / 60 - n * MIX_RATE / 60);
    if (g_Unheard) {
        MixAudio(nullptr, frames);
        return;
    }
    MixAudio(g_FlipSamples, frames);
    g_FlipSampleCount = frames;
    ActiveBackend().mixWithoutOutput(g_FlipSamples, frames);
}

void SetSoundUnheard(bool unheard) { g_Unheard = unheard; }

bool SoundUnheard() { return g_Unheard; }

const std::int16_t* LastFlipMix(int* frames) {
    *frames = g_FlipSampleCount;
    return g_FlipSamples;
}

void HoldSound(bool hold) {
    MixerLock();
    if (!hold && g_GainTarget == 0.0f) {
        // What was started or left half played meanwhile belongs to other frames: the
        // one-shots are cut; the loops (music, the buzz) go on, faded in.
        for (IDirectSoundBuffer* buffer : g_Buffers) {
            IDirectSoundBuffer::State& s = *buffer->state;
            if (s.looping) continue;
            s.playing = false;
            s.position = 0;
        }
    }
    g_GainTarget = hold ? 0.0f : 1.0f;
    MixerUnlock();
}

void SetMasterVolume(int percent, bool muted) {
    percent = std::clamp(percent, 0, kMasterVolumeMax);
    const float level = static_cast<float>(percent) / kMasterVolumeMax;
    MixerLock();
    g_MasterPercent = percent;
    g_MasterMuted = muted;
    g_MasterTarget = muted ? 0.0f : level * level;
    if (!g_Mixed) g_Master = g_MasterTarget;
    MixerUnlock();
}

int MasterVolumePercent() { return g_MasterPercent; }

bool MasterMuted() { return g_MasterMuted; }

void ToggleMasterMute() {
    SetMasterVolume(g_MasterPercent, !g_MasterMuted);
    ShowNotice(g_MasterMuted ? "sound off (M)" : "sound on (M)");
}

void AudioShutdown() {
    CloseMixerDevice();
    RecordFinish();
    SoundLogClose();
}
