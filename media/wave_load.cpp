// WAVE files into sound buffers. The two places used inside the file's body are found by
// a plain byte search for their tags, not by walking the chunks.

#include <cstring>
#include <new>

#include "media/load_report.h"
#include "media/sound.h"
#include "platform/services/files.h"

namespace {

void AddCode(const char* code) { ReportLoadFailure(code); }

DWORD Read32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

// Bytes left in the file from the current position; 0 when that cannot be told.
unsigned long long BytesLeft(std::FILE* file) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
    const long end = std::ftell(file);
    if (end < 0 || std::fseek(file, here, SEEK_SET) != 0) return 0;
    return end > here ? static_cast<unsigned long long>(end - here) : 0;
}

// Fills the slot's buffer (a new one when the slot is empty) with the samples. The slot
// changes only on success; a buffer made here that could not be filled is released.
int FillSlot(LPDIRECTSOUND ds, LPDIRECTSOUNDBUFFER* slot, WAVEFORMATEX* format, const BYTE* samples,
             DWORD length) {
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = length;
    desc.dwReserved = 0;
    desc.lpwfxFormat = format;

    LPDIRECTSOUNDBUFFER buffer = *slot;
    const bool created = buffer == nullptr;
    if (created && (ds == nullptr || ds->CreateSoundBuffer(&desc, &buffer, nullptr) != DS_OK)) {
        AddCode("ERROR_12");
        return 0;
    }
    void* region = nullptr;
    DWORD regionBytes = 0;
    if (buffer->Lock(0, length, &region, &regionBytes, nullptr, nullptr, 0) != DS_OK) {
        AddCode("ERROR_13");
        if (created) buffer->Release();
        return 0;
    }
    std::memcpy(region, samples, regionBytes < length ? regionBytes : length);
    if (buffer->Unlock(region, regionBytes, nullptr, 0) != DS_OK) {
        AddCode("ERROR_14");
        if (created) buffer->Release();
        return 0;
    }
    *slot = buffer;
    return 1;
}

// Parses the body ("fmt" and "data") and fills the slot from it. Both tags are searched
// for before the format record is read, so a missing "data" gives its own codes whatever
// the record looks like.
int LoadBody(const BYTE* body, DWORD length, LPDIRECTSOUND ds, LPDIRECTSOUNDBUFFER* slot) {
    const long fmt = FindChunk("fmt", body, length);
    if (fmt < 0) {
        AddCode("ERROR_10");
        return 0;
    }
    const long data = FindChunk("data", body, length);
    if (data < 0) {
        AddCode("ERROR_11");
        return 0;
    }
    // The record starts past the chunk's tag and size; its PCM part must be in the body.
    constexpr unsigned long kPcmRecord = 16;
    const unsigned long at = static_cast<unsigned long>(fmt) + 8;
    if (at + kPcmRecord > length) {
        AddCode("ERROR_10");
        return 0;
    }
    WAVEFORMATEX format{};
    const unsigned long present = length - at;
    std::memcpy(&format, body + at, present < sizeof format ? present : sizeof format);

    // A length that runs past the body is cut to the bytes that are there.
    const unsigned long start = static_cast<unsigned long>(data) + 8;
    DWORD bytes = 0;
    if (start <= length) {
        bytes = Read32(body + data + 4);
        if (bytes > length - start) bytes = static_cast<DWORD>(length - start);
    }
    return FillSlot(ds, slot, &format, body + (start <= length ? start : length), bytes);
}

}  // namespace

long FindChunk(const char* tag, const BYTE* body, long length) {
    const long n = static_cast<long>(std::strlen(tag));
    if (length < n) {
        AddCode("ERROR_15");
        return -1;
    }
    for (long p = 0; p <= length - n; ++p) {
        if (std::memcmp(body + p, tag, static_cast<std::size_t>(n)) == 0) return p;
    }
    AddCode("ERROR_16");
    return -1;
}

int LoadWave(const char* path, LPDIRECTSOUND ds, LPDIRECTSOUNDBUFFER* slot) {
    std::FILE* file = OpenGamePath(path, "rb");
    if (file == nullptr) {
        AddCode("ERROR_1");
        return 0;
    }
    BYTE header[12];
    const std::size_t got = std::fread(header, 1, sizeof header, file);
    const char* failure = nullptr;
    if (got < sizeof header && std::ferror(file))
        failure = "ERROR_2";
    else if (got < sizeof header)
        failure = "ERROR_3";
    else if (std::memcmp(header, "RIFF", 4) != 0)
        failure = "ERROR_4";
    else if (std::memcmp(header + 8, "WAVE", 4) != 0)
        failure = "ERROR_5";
    if (failure != nullptr) {
        std::fclose(file);
        AddCode(failure);
        return 0;
    }

    // The body is R - 4 bytes (R below 4 wraps to a size no file holds). A size beyond
    // the end of the file is refused before anything is allocated for it.
    const DWORD length = Read32(header + 4) - 4u;
    if (length > BytesLeft(file)) {
        std::fclose(file);
        AddCode("ERROR_9");
        return 0;
    }
    BYTE* body = new (std::nothrow) BYTE[length == 0 ? 1 : length];
    if (body == nullptr) {
        std::fclose(file);
        AddCode("ERROR_7");
        return 0;
    }
    const std::size_t read = std::fread(body, 1, length, file);
    const bool readFailed = read < length && std::ferror(file);
    std::fclose(file);
    if (read < length) {
        delete[] body;
        AddCode(readFailed ? "ERROR_8" : "ERROR_9");
        return 0;
    }
    const int ok = LoadBody(body, length, ds, slot);
    delete[] body;
    return ok;
}
