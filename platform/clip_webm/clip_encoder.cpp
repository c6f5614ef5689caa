// Clips as VP9 video and Opus sound in WebM: the pair that browsers, phones and chat apps
// play without a licence fee, from small permissively licensed libraries. Everything runs
// on this one thread, with fixed settings and no date or random number in the file, so
// the same pictures and sound give the same bytes.
#include "platform/services/clip_encoder.h"

#include <libyuv/convert_from_argb.h>
#include <opus/opus.h>
#include <speex/speex_resampler.h>
#include <vpx/vp8cx.h>
#include <vpx/vpx_encoder.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <new>
#include <vector>

#include "platform/clip_webm/webm_writer.h"
#include "platform/stand_in/sound_mixer.h"

namespace {

constexpr int kFps = 60;
constexpr int kKeyEvery = 2 * kFps;  // a cluster, and a place to seek to, every 2 s
// VP9 at a constant quality: the game's flat colours and hard edges stay clean at 1x.
// libvpx's real-time mode at speed 6 encodes a round of 10 flies in a tenth of the time
// its good-quality mode takes (at any of that mode's speeds) for 6 % more bytes.
constexpr int kQuality = 24;  // 0 (best) .. 63
constexpr int kSpeed = 6;     // libvpx's cpu-used: 0 slowest .. 9
constexpr auto kDeadline = VPX_DL_REALTIME;
constexpr int kOpusRate = 48000;
constexpr int kOpusFrame = kOpusRate / 50;  // 20 ms
constexpr int kOpusBitrate = 96000;
constexpr int kMaxOpusPacket = 4000;

struct AudioPacket {
    long long ms;
    std::vector<std::uint8_t> bytes;
};

}  // namespace

struct ClipEncoder {
    std::string path, partial;
    std::FILE* file = nullptr;
    int width = 0, height = 0;
    vpx_codec_ctx_t vpx{};
    bool vpxOpen = false;
    vpx_image_t image{};
    bool imageAllocated = false;
    long long pictures = 0;
    OpusEncoder* opus = nullptr;
    SpeexResamplerState* resampler = nullptr;
    std::vector<std::int16_t> pcm;        // resampled, waiting for a whole Opus frame
    std::vector<std::int16_t> resampled;  // one call's output
    long long opusFrames = 0;
    std::deque<AudioPacket> audio;  // Opus packets not yet written: they follow the video
    std::uint8_t packet[kMaxOpusPacket];
    WebmWriter webm;
};

namespace {

long long PictureMs(long long pts) { return (pts * 1000 + kFps / 2) / kFps; }

// The Opus packets that start before `ms` go into the file ahead of the picture at `ms`.
bool WriteAudioBefore(ClipEncoder* c, long long ms) {
    while (!c->audio.empty() && c->audio.front().ms < ms) {
        const AudioPacket& p = c->audio.front();
        if (!WebmAudio(&c->webm, p.bytes.data(), p.bytes.size(), p.ms)) return false;
        c->audio.pop_front();
    }
    return true;
}

bool DrainVideo(ClipEncoder* c, int* packets, std::string* error) {
    vpx_codec_iter_t iter = nullptr;
    while (const vpx_codec_cx_pkt_t* pkt = vpx_codec_get_cx_data(&c->vpx, &iter)) {
        if (pkt->kind != VPX_CODEC_CX_FRAME_PKT) continue;
        ++*packets;
        const long long ms = PictureMs(pkt->data.frame.pts);
        const bool key = (pkt->data.frame.flags & VPX_FRAME_IS_KEY) != 0;
        if (!WriteAudioBefore(c, ms) ||
            !WebmVideo(&c->webm, static_cast<const std::uint8_t*>(pkt->data.frame.buf),
                       pkt->data.frame.sz, ms, key)) {
            *error = "cannot write " + c->partial + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// A picture, or none to have the encoder give out what it still holds. *packets counts
// the packets that came out.
bool EncodePicture(ClipEncoder* c, const vpx_image_t* image, int* packets, std::string* error) {
    if (vpx_codec_encode(&c->vpx, image, c->pictures, 1, 0, kDeadline) != VPX_CODEC_OK) {
        const char* detail = vpx_codec_error_detail(&c->vpx);
        *error = std::string("the video encoder failed: ") +
                 (detail ? detail : vpx_codec_error(&c->vpx));
        return false;
    }
    return DrainVideo(c, packets, error);
}

// Whole 20 ms frames of the resampled sound to Opus packets.
bool EncodeSound(ClipEncoder* c, std::string* error) {
    std::size_t used = 0;
    while (c->pcm.size() - used >= kOpusFrame * MIX_CHANNELS) {
        const int bytes =
            opus_encode(c->opus, c->pcm.data() + used, kOpusFrame, c->packet, kMaxOpusPacket);
        if (bytes < 0) {
            *error = std::string("the sound encoder failed: ") + opus_strerror(bytes);
            return false;
        }
        c->audio.push_back({c->opusFrames * 1000 * kOpusFrame / kOpusRate,
                            std::vector<std::uint8_t>(c->packet, c->packet + bytes)});
        ++c->opusFrames;
        used += kOpusFrame * MIX_CHANNELS;
    }
    c->pcm.erase(c->pcm.begin(), c->pcm.begin() + static_cast<std::ptrdiff_t>(used));
    return true;
}

bool Resample(ClipEncoder* c, const std::int16_t* samples, int frames, std::string* error) {
    spx_uint32_t in = static_cast<spx_uint32_t>(frames);
    const spx_uint32_t room = in * kOpusRate / MIX_RATE + 64;
    c->resampled.resize(room * MIX_CHANNELS);
    spx_uint32_t out = room;
    if (speex_resampler_process_interleaved_int(c->resampler, samples, &in, c->resampled.data(),
                                                &out) != RESAMPLER_ERR_SUCCESS ||
        in != static_cast<spx_uint32_t>(frames)) {
        *error = "the sound could not be resampled";
        return false;
    }
    c->pcm.insert(c->pcm.end(), c->resampled.begin(), c->resampled.begin() + out * MIX_CHANNELS);
    return EncodeSound(c, error);
}

// The Opus head (its codec private data): version 1, two channels, the samples to skip,
// the mix's own rate, no gain, the plain channel order.
std::vector<std::uint8_t> OpusHead(int preSkip) {
    std::vector<std::uint8_t> h = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, MIX_CHANNELS};
    h.push_back(static_cast<std::uint8_t>(preSkip));
    h.push_back(static_cast<std::uint8_t>(preSkip >> 8));
    for (int i = 0; i < 4; ++i) h.push_back(static_cast<std::uint8_t>(MIX_RATE >> (8 * i)));
    h.insert(h.end(), {0, 0, 0});
    return h;
}

void Free(ClipEncoder* c) {
    if (c->vpxOpen) vpx_codec_destroy(&c->vpx);
    if (c->imageAllocated) vpx_img_free(&c->image);
    if (c->opus) opus_encoder_destroy(c->opus);
    if (c->resampler) speex_resampler_destroy(c->resampler);
    if (c->file) std::fclose(c->file);
    delete c;
}

bool StartVideo(ClipEncoder* c, std::string* error) {
    vpx_codec_iface_t* iface = vpx_codec_vp9_cx();
    vpx_codec_enc_cfg_t cfg;
    if (vpx_codec_enc_config_default(iface, &cfg, 0) != VPX_CODEC_OK) {
        *error = "the video encoder has no settings";
        return false;
    }
    cfg.g_w = static_cast<unsigned>(c->width);
    cfg.g_h = static_cast<unsigned>(c->height);
    cfg.g_timebase = {1, kFps};
    cfg.g_threads = 1;        // one thread: the same bytes on every run
    cfg.g_lag_in_frames = 0;  // each picture out as it goes in
    cfg.g_pass = VPX_RC_ONE_PASS;
    cfg.rc_end_usage = VPX_Q;
    cfg.rc_min_quantizer = 0;
    cfg.rc_max_quantizer = 63;
    cfg.kf_mode = VPX_KF_AUTO;
    cfg.kf_min_dist = 0;
    cfg.kf_max_dist = kKeyEvery;
    if (vpx_codec_enc_init(&c->vpx, iface, &cfg, 0) != VPX_CODEC_OK) {
        *error = std::string("the video encoder did not start: ") + vpx_codec_error(&c->vpx);
        return false;
    }
    c->vpxOpen = true;
    vpx_codec_control(&c->vpx, VP8E_SET_CPUUSED, kSpeed);
    vpx_codec_control(&c->vpx, VP8E_SET_CQ_LEVEL, kQuality);
    vpx_codec_control(&c->vpx, VP9E_SET_ROW_MT, 0);
    vpx_codec_control(&c->vpx, VP9E_SET_TILE_COLUMNS, 0);
    vpx_codec_control(&c->vpx, VP9E_SET_COLOR_SPACE, VPX_CS_BT_601);
    vpx_codec_control(&c->vpx, VP9E_SET_COLOR_RANGE, VPX_CR_STUDIO_RANGE);
    if (!vpx_img_alloc(&c->image, VPX_IMG_FMT_I420, cfg.g_w, cfg.g_h, 16)) {
        *error = "not enough memory for the clip's pictures";
        return false;
    }
    c->imageAllocated = true;
    return true;
}

bool StartSound(ClipEncoder* c, int* preSkip, std::string* error) {
    int err = 0;
    c->opus = opus_encoder_create(kOpusRate, MIX_CHANNELS, OPUS_APPLICATION_AUDIO, &err);
    if (!c->opus || err != OPUS_OK) {
        *error = std::string("the sound encoder did not start: ") + opus_strerror(err);
        return false;
    }
    opus_encoder_ctl(c->opus, OPUS_SET_BITRATE(kOpusBitrate));
    opus_encoder_ctl(c->opus, OPUS_GET_LOOKAHEAD(preSkip));
    c->resampler = speex_resampler_init(MIX_CHANNELS, MIX_RATE, kOpusRate,
                                        SPEEX_RESAMPLER_QUALITY_DESKTOP, &err);
    if (!c->resampler || err != RESAMPLER_ERR_SUCCESS) {
        *error = "the sound resampler did not start";
        return false;
    }
    // The filter's own delay is not heard: the sound starts with the first picture.
    speex_resampler_skip_zeros(c->resampler);
    c->pcm.reserve(static_cast<std::size_t>(kOpusFrame) * MIX_CHANNELS * 4);
    return true;
}

}  // namespace

const char* ClipFormatName() { return "VP9 and Opus in WebM"; }

ClipEncoder* OpenClipEncoder(const std::string& path, int width, int height, std::string* error) {
    ClipEncoder* c = new (std::nothrow) ClipEncoder;
    if (!c) {
        *error = "not enough memory for the clip";
        return nullptr;
    }
    c->path = path;
    c->partial = path + ".partial";
    c->width = width;
    c->height = height;
    int preSkip = 0;
    if (!StartVideo(c, error) || !StartSound(c, &preSkip, error)) {
        Free(c);
        return nullptr;
    }
    c->file = std::fopen(c->partial.c_str(), "w+b");
    if (!c->file) {
        *error = "cannot write " + c->partial + ": " + std::strerror(errno);
        Free(c);
        return nullptr;
    }
    WebmTracks tracks;
    tracks.width = width;
    tracks.height = height;
    tracks.opusHead = OpusHead(preSkip);
    tracks.opusDelayNs = static_cast<std::uint64_t>(preSkip) * 1000000000ull / kOpusRate;
    tracks.writingApp = std::string("zumble ") + ZUMBLE_VERSION;
    if (!WebmStart(&c->webm, c->file, tracks)) {
        *error = "cannot write " + c->partial + ": " + std::strerror(errno);
        DiscardClipEncoder(c);
        return nullptr;
    }
    return c;
}

bool ClipAddPicture(ClipEncoder* c, const std::uint32_t* argb, std::string* error) {
    vpx_image_t& im = c->image;
    libyuv::ARGBToI420(reinterpret_cast<const std::uint8_t*>(argb), c->width * 4,
                       im.planes[VPX_PLANE_Y], im.stride[VPX_PLANE_Y], im.planes[VPX_PLANE_U],
                       im.stride[VPX_PLANE_U], im.planes[VPX_PLANE_V], im.stride[VPX_PLANE_V],
                       c->width, c->height);
    int packets = 0;
    if (!EncodePicture(c, &im, &packets, error)) return false;
    ++c->pictures;
    return true;
}

bool ClipAddSound(ClipEncoder* c, const std::int16_t* samples, int frames, std::string* error) {
    return frames <= 0 || Resample(c, samples, frames, error);
}

bool CloseClipEncoder(ClipEncoder* c, std::string* error) {
    // The resampler's tail, then silence to the end of the last Opus frame; the pictures
    // the encoder still holds.
    const int tail = speex_resampler_get_input_latency(c->resampler);
    std::vector<std::int16_t> zeros(static_cast<std::size_t>(tail) * MIX_CHANNELS, 0);
    bool ok = tail <= 0 || Resample(c, zeros.data(), tail, error);
    // Only the sound that belongs to the pictures: c->pictures / 60 s of it.
    const std::size_t wanted = static_cast<std::size_t>(c->pictures * kOpusRate / kFps);
    const std::size_t have =
        static_cast<std::size_t>(c->opusFrames) * kOpusFrame + c->pcm.size() / MIX_CHANNELS;
    if (ok && have > wanted)
        c->pcm.resize(c->pcm.size() - std::min(c->pcm.size(), (have - wanted) * MIX_CHANNELS));
    if (ok && !c->pcm.empty()) {
        c->pcm.resize(static_cast<std::size_t>(kOpusFrame) * MIX_CHANNELS, 0);
        ok = EncodeSound(c, error);
    }
    for (int packets = 1; ok && packets > 0;) {
        packets = 0;
        ok = EncodePicture(c, nullptr, &packets, error);
    }
    if (ok && !WriteAudioBefore(c, 1LL << 62)) {
        *error = "cannot write " + c->partial + ": " + std::strerror(errno);
        ok = false;
    }
    const double durationMs = static_cast<double>(c->pictures) * 1000.0 / kFps;
    if (ok && !WebmFinish(&c->webm, durationMs)) {
        *error = "cannot write " + c->partial + ": " + std::strerror(errno);
        ok = false;
    }
    if (ok) {
        const bool closed = std::fclose(c->file) == 0;
        c->file = nullptr;
        if (!closed || std::rename(c->partial.c_str(), c->path.c_str()) != 0) {
            *error = "cannot write " + c->path + ": " + std::strerror(errno);
            ok = false;
        }
    }
    if (!ok) {
        if (c->file) std::fclose(c->file);
        c->file = nullptr;
        std::remove(c->partial.c_str());
    }
    Free(c);
    return ok;
}

void DiscardClipEncoder(ClipEncoder* c) {
    if (c->file) std::fclose(c->file);
    c->file = nullptr;
    std::remove(c->partial.c_str());
    Free(c);
}
