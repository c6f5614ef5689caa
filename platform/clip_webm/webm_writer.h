#pragma once
// A WebM file of one VP9 track and one Opus track, written as the packets come: the
// header, a cluster from each key frame on, and at the end the index of the clusters
// (cues) and the duration, put back into the header. Nothing in it depends on when or
// where it was written, so the same packets give the same bytes.
//
// Debian's libwebm ships its reader only (no muxer headers), and a general Matroska
// library is far more than two tracks of packets need: the few elements are written here.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct WebmTracks {
    int width = 0, height = 0;           // the picture
    std::vector<std::uint8_t> opusHead;  // the Opus track's codec private data
    std::uint64_t opusDelayNs = 0;       // the encoder's look-ahead, to be skipped
    std::string writingApp;              // "zumble 1.0.0"
};

struct WebmWriter {
    std::FILE* file = nullptr;
    std::string app;
    long segmentStart = 0;  // the offset of the segment's first child
    long headSize = 0;      // the seek head and the info, written again at the end
    long long lastMs = 0;
    std::vector<std::uint8_t> cluster;  // the open cluster's children
    long long clusterMs = -1;
    struct Cue {
        long long ms;
        std::uint64_t position;
    };
    std::vector<Cue> cues;
    std::uint64_t tracksPosition = 0;
};

// Writes the header into `file` (opened for writing and reading, empty).
bool WebmStart(WebmWriter* w, std::FILE* file, const WebmTracks& tracks);
// A VP9 packet at `ms`; a key frame starts a cluster.
bool WebmVideo(WebmWriter* w, const std::uint8_t* data, std::size_t size, long long ms, bool key);
// An Opus packet at `ms` (not before the open cluster's start).
bool WebmAudio(WebmWriter* w, const std::uint8_t* data, std::size_t size, long long ms);
// Closes the last cluster, writes the cues and puts the duration and the positions into
// the header. The file stays open.
bool WebmFinish(WebmWriter* w, double durationMs);
