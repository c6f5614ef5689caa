#include "platform/clip_webm/webm_writer.h"

#include <cstring>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The element IDs (with their length bits, as they are written).
constexpr std::uint32_t kEbml = 0x1A45DFA3, kEbmlVersion = 0x4286, kEbmlReadVersion = 0x42F7,
                        kEbmlMaxIdLength = 0x42F2, kEbmlMaxSizeLength = 0x42F3, kDocType = 0x4282,
                        kDocTypeVersion = 0x4287, kDocTypeReadVersion = 0x4285;
constexpr std::uint32_t kSegment = 0x18538067, kSeekHead = 0x114D9B74, kSeek = 0x4DBB,
                        kSeekId = 0x53AB, kSeekPosition = 0x53AC;
constexpr std::uint32_t kInfo = 0x1549A966, kTimecodeScale = 0x2AD7B1, kDuration = 0x4489,
                        kMuxingApp = 0x4D80, kWritingApp = 0x5741;
constexpr std::uint32_t kTracks = 0x1654AE6B, kTrackEntry = 0xAE, kTrackNumber = 0xD7,
                        kTrackUid = 0x73C5, kTrackType = 0x83, kFlagLacing = 0x9C, kCodecId = 0x86,
                        kCodecPrivate = 0x63A2, kCodecDelay = 0x56AA, kSeekPreRoll = 0x56BB,
                        kDefaultDuration = 0x23E383, kVideo = 0xE0, kPixelWidth = 0xB0,
                        kPixelHeight = 0xBA, kColour = 0x55B0, kMatrixCoefficients = 0x55B1,
                        kRange = 0x55B9, kAudio = 0xE1, kSamplingFrequency = 0xB5, kChannels = 0x9F;
constexpr std::uint32_t kCluster = 0x1F43B675, kTimecode = 0xE7, kSimpleBlock = 0xA3;
constexpr std::uint32_t kCues = 0x1C53BB6B, kCuePoint = 0xBB, kCueTime = 0xB3,
                        kCueTrackPositions = 0xB7, kCueTrack = 0xF7, kCueClusterPosition = 0xF1;

constexpr int kVideoTrack = 1, kAudioTrack = 2;

void PutId(Bytes* b, std::uint32_t id) {
    int bytes = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
    while (bytes-- > 0) b->push_back(static_cast<std::uint8_t>(id >> (8 * bytes)));
}

// A size in the fewest bytes (all ones would mean "unknown").
void PutSize(Bytes* b, std::uint64_t size) {
    int length = 1;
    while (length < 8 && size >= (std::uint64_t{1} << (7 * length)) - 1) ++length;
    for (int i = length - 1; i >= 0; --i) {
        std::uint8_t byte = static_cast<std::uint8_t>(size >> (8 * i));
        if (i == length - 1) byte |= static_cast<std::uint8_t>(0x80 >> (length - 1));
        b->push_back(byte);
    }
}

void PutBigEndian(Bytes* b, std::uint64_t v, int bytes) {
    while (bytes-- > 0) b->push_back(static_cast<std::uint8_t>(v >> (8 * bytes)));
}

void PutBinary(Bytes* b, std::uint32_t id, const void* data, std::size_t size) {
    PutId(b, id);
    PutSize(b, size);
    const auto* p = static_cast<const std::uint8_t*>(data);
    b->insert(b->end(), p, p + size);
}

void PutMaster(Bytes* b, std::uint32_t id, const Bytes& body) {
    PutBinary(b, id, body.data(), body.size());
}

void PutString(Bytes* b, std::uint32_t id, const std::string& s) {
    PutBinary(b, id, s.data(), s.size());
}

void PutUint(Bytes* b, std::uint32_t id, std::uint64_t v, int fixed = 0) {
    int bytes = fixed;
    if (!bytes)
        for (bytes = 1; bytes < 8 && (v >> (8 * bytes)) != 0; ++bytes) {}
    PutId(b, id);
    PutSize(b, static_cast<std::uint64_t>(bytes));
    PutBigEndian(b, v, bytes);
}

void PutFloat(Bytes* b, std::uint32_t id, double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    PutId(b, id);
    PutSize(b, 8);
    PutBigEndian(b, bits, 8);
}

bool Write(WebmWriter* w, const Bytes& b) {
    return std::fwrite(b.data(), 1, b.size(), w->file) == b.size();
}

Bytes SeekHead(const std::uint64_t info, std::uint64_t tracks, std::uint64_t cues) {
    const std::uint32_t ids[3] = {kInfo, kTracks, kCues};
    const std::uint64_t positions[3] = {info, tracks, cues};
    Bytes seeks, head;
    for (int i = 0; i < 3; ++i) {
        Bytes seek, id;
        PutId(&id, ids[i]);
        PutBinary(&seek, kSeekId, id.data(), id.size());
        PutUint(&seek, kSeekPosition, positions[i], 8);
        PutMaster(&seeks, kSeek, seek);
    }
    PutMaster(&head, kSeekHead, seeks);
    return head;
}

// The seek head and the info: the same size whatever they hold (positions eight bytes
// wide, the duration a double), so that the end writes them again over the first ones.
Bytes Head(const WebmWriter& w, std::uint64_t cuesPosition, double durationMs) {
    const std::uint64_t infoPosition = SeekHead(0, 0, 0).size();
    Bytes head = SeekHead(infoPosition, w.tracksPosition, cuesPosition);
    Bytes info;
    PutUint(&info, kTimecodeScale, 1000000);  // block times in milliseconds
    PutFloat(&info, kDuration, durationMs);
    PutString(&info, kMuxingApp, w.app);
    PutString(&info, kWritingApp, w.app);
    PutMaster(&head, kInfo, info);
    return head;
}

Bytes Tracks(const WebmTracks& t) {
    Bytes video, picture, colour;
    PutUint(&video, kTrackNumber, kVideoTrack);
    PutUint(&video, kTrackUid, kVideoTrack);
    PutUint(&video, kTrackType, 1);
    PutUint(&video, kFlagLacing, 0);
    PutString(&video, kCodecId, "V_VP9");
    PutUint(&video, kDefaultDuration, 16666667);  // 60 frames a second, in nanoseconds
    PutUint(&picture, kPixelWidth, static_cast<std::uint64_t>(t.width));
    PutUint(&picture, kPixelHeight, static_cast<std::uint64_t>(t.height));
    PutUint(&colour, kMatrixCoefficients, 6);  // BT.601, as the picture is converted
    PutUint(&colour, kRange, 1);               // the studio range
    PutMaster(&picture, kColour, colour);
    PutMaster(&video, kVideo, picture);

    Bytes audio, sound;
    PutUint(&audio, kTrackNumber, kAudioTrack);
    PutUint(&audio, kTrackUid, kAudioTrack);
    PutUint(&audio, kTrackType, 2);
    PutUint(&audio, kFlagLacing, 0);
    PutString(&audio, kCodecId, "A_OPUS");
    PutBinary(&audio, kCodecPrivate, t.opusHead.data(), t.opusHead.size());
    PutUint(&audio, kCodecDelay, t.opusDelayNs);
    PutUint(&audio, kSeekPreRoll, 80000000);  // Opus needs 80 ms before a seek's target
    PutFloat(&sound, kSamplingFrequency, 48000.0);
    PutUint(&sound, kChannels, 2);
    PutMaster(&audio, kAudio, sound);

    Bytes entries, tracks;
    PutMaster(&entries, kTrackEntry, video);
    PutMaster(&entries, kTrackEntry, audio);
    PutMaster(&tracks, kTracks, entries);
    return tracks;
}

bool CloseCluster(WebmWriter* w) {
    if (w->clusterMs < 0) return true;
    Bytes head;
    PutId(&head, kCluster);
    PutSize(&head, w->cluster.size());
    const bool ok = Write(w, head) && Write(w, w->cluster);
    w->cluster.clear();
    w->clusterMs = -1;
    return ok;
}

bool OpenCluster(WebmWriter* w, long long ms) {
    if (!CloseCluster(w)) return false;
    const long here = std::ftell(w->file);
    if (here < 0) return false;
    w->cues.push_back({ms, static_cast<std::uint64_t>(here - w->segmentStart)});
    w->clusterMs = ms;
    PutUint(&w->cluster, kTimecode, static_cast<std::uint64_t>(ms));
    return true;
}

bool Block(WebmWriter* w, int track, const std::uint8_t* data, std::size_t size, long long ms,
           bool key) {
    const long long relative = ms - w->clusterMs;
    if (w->clusterMs < 0 || relative < -32768 || relative > 32767) return false;
    Bytes& c = w->cluster;
    PutId(&c, kSimpleBlock);
    PutSize(&c, size + 4);
    c.push_back(static_cast<std::uint8_t>(0x80 | track));
    PutBigEndian(&c, static_cast<std::uint16_t>(static_cast<std::int16_t>(relative)), 2);
    c.push_back(key ? 0x80 : 0x00);
    c.insert(c.end(), data, data + size);
    if (ms > w->lastMs) w->lastMs = ms;
    return true;
}

}  // namespace

bool WebmStart(WebmWriter* w, std::FILE* file, const WebmTracks& tracks) {
    w->file = file;
    w->app = tracks.writingApp;
    Bytes ebml, header;
    PutUint(&ebml, kEbmlVersion, 1);
    PutUint(&ebml, kEbmlReadVersion, 1);
    PutUint(&ebml, kEbmlMaxIdLength, 4);
    PutUint(&ebml, kEbmlMaxSizeLength, 8);
    PutString(&ebml, kDocType, "webm");
    PutUint(&ebml, kDocTypeVersion, 4);
    PutUint(&ebml, kDocTypeReadVersion, 2);
    PutMaster(&header, kEbml, ebml);
    // The segment's size, eight bytes wide, is put in at the end.
    PutId(&header, kSegment);
    header.push_back(0x01);
    PutBigEndian(&header, 0, 7);
    if (!Write(w, header)) return false;
    w->segmentStart = std::ftell(file);
    w->tracksPosition = Head(*w, 0, 0).size();
    const Bytes head = Head(*w, 0, 0);
    w->headSize = static_cast<long>(head.size());
    return w->segmentStart > 0 && Write(w, head) && Write(w, Tracks(tracks));
}

bool WebmVideo(WebmWriter* w, const std::uint8_t* data, std::size_t size, long long ms, bool key) {
    if (key && !OpenCluster(w, ms)) return false;
    return Block(w, kVideoTrack, data, size, ms, key);
}

bool WebmAudio(WebmWriter* w, const std::uint8_t* data, std::size_t size, long long ms) {
    return Block(w, kAudioTrack, data, size, ms, true);
}

bool WebmFinish(WebmWriter* w, double durationMs) {
    if (!CloseCluster(w)) return false;
    const long cuesAt = std::ftell(w->file);
    if (cuesAt < 0) return false;
    Bytes points, cues;
    for (const WebmWriter::Cue& cue : w->cues) {
        Bytes point, where;
        PutUint(&where, kCueTrack, kVideoTrack);
        PutUint(&where, kCueClusterPosition, cue.position);
        PutUint(&point, kCueTime, static_cast<std::uint64_t>(cue.ms));
        PutMaster(&point, kCueTrackPositions, where);
        PutMaster(&points, kCuePoint, point);
    }
    PutMaster(&cues, kCues, points);
    if (!Write(w, cues)) return false;
    const long end = std::ftell(w->file);
    if (end < 0) return false;
    Bytes size;
    PutBigEndian(&size, static_cast<std::uint64_t>(end - w->segmentStart), 7);
    const Bytes head = Head(*w, static_cast<std::uint64_t>(cuesAt - w->segmentStart), durationMs);
    if (static_cast<long>(head.size()) != w->headSize) return false;
    return std::fseek(w->file, w->segmentStart - 7, SEEK_SET) == 0 && Write(w, size) &&
           std::fseek(w->file, w->segmentStart, SEEK_SET) == 0 && Write(w, head) &&
           std::fseek(w->file, 0, SEEK_END) == 0;
}
