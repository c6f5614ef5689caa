// Loading WAVE files into sound buffers: every failure code, the byte search for the
// chunk tags, and the slot left behind.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "media/sound.h"
#include "tests/support/sound_test_helpers.h"

using namespace soundtest;

namespace {

// Exits 0 when loading `path` fails with `code` alone while the address space may grow
// by only 256 MiB more.
[[noreturn]] void LoadUnderMemoryLimit(LPDIRECTSOUND ds, const char* path, const char* code) {
    unsigned long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlim_t bytes =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (256u << 20);
    rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
    LPDIRECTSOUNDBUFFER slot = nullptr;
    const int before = errorLog.Count();
    const int r = LoadWave(path, ds, &slot);
    const Codes codes = CodesSince(before);
    std::_Exit(r == 0 && slot == nullptr && codes == Codes{code} ? 0 : 1);
}

class WaveLoad : public ::testing::Test {
protected:
    void SetUp() override {
        g_Options.headless = true;
        SetLoadReport(AddToErrorLog);  // as WinMain does
        dir = TempDir();
        ASSERT_EQ(chdir(dir.c_str()), 0);
        mkdir("wave", 0755);
        ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    }
    void TearDown() override { ds->Release(); }

    // Loads `bytes` as "wave\t.wav" into `slot`; returns the codes it added.
    Codes Load(const std::string& bytes, LPDIRECTSOUNDBUFFER* slot, int* result = nullptr) {
        WriteFile("wave/t.wav", bytes);
        const int before = errorLog.Count();
        const int r = LoadWave("wave\\t.wav", ds, slot);
        if (result) *result = r;
        return CodesSince(before);
    }

    std::string dir;
    LPDIRECTSOUND ds = nullptr;
};

TEST_F(WaveLoad, FindChunkReturnsTheFirstOccurrenceOrLogsWhyNot) {
    const BYTE exact[] = {'d', 'a', 't', 'a'};
    int before = errorLog.Count();
    EXPECT_EQ(FindChunk("data", exact, 4), 0);
    EXPECT_EQ(FindChunk("data", exact, 3), -1);
    EXPECT_EQ(CodesSince(before), (Codes{"ERROR_15"}));

    const std::string body = "xxfmtdata..data";
    const BYTE* b = reinterpret_cast<const BYTE*>(body.data());
    before = errorLog.Count();
    EXPECT_EQ(FindChunk("fmt", b, static_cast<long>(body.size())), 2);
    EXPECT_EQ(FindChunk("data", b, static_cast<long>(body.size())), 5);
    // A tag that ends exactly at the body's end is found; one cut by the end is not.
    EXPECT_EQ(FindChunk("data", b + 6, static_cast<long>(body.size()) - 6), 5);
    EXPECT_EQ(FindChunk("data", b, 8), -1);
    EXPECT_EQ(CodesSince(before), (Codes{"ERROR_16"}));
}

TEST_F(WaveLoad, HeaderFailuresGiveTheirCodesAndLeaveTheSlotEmpty) {
    LPDIRECTSOUNDBUFFER slot = nullptr;
    int before = errorLog.Count();
    EXPECT_EQ(LoadWave("wave\\missing.wav", ds, &slot), 0);
    EXPECT_EQ(CodesSince(before), (Codes{"ERROR_1"}));

    // A folder is not a file: it cannot be opened, as on Windows.
    mkdir("wave/dir.wav", 0755);
    before = errorLog.Count();
    EXPECT_EQ(LoadWave("wave\\dir.wav", ds, &slot), 0);
    EXPECT_EQ(CodesSince(before), (Codes{"ERROR_1"}));

    // Nor is a pipe, which would otherwise hold the game until somebody wrote to it.
    ASSERT_EQ(mkfifo("wave/pipe.wav", 0644), 0);
    before = errorLog.Count();
    EXPECT_EQ(LoadWave("wave\\pipe.wav", ds, &slot), 0);
    EXPECT_EQ(CodesSince(before), (Codes{"ERROR_1"}));

    EXPECT_EQ(Load("RIFF\x10", &slot), (Codes{"ERROR_3"}));
    EXPECT_EQ(Load("", &slot), (Codes{"ERROR_3"}));
    std::string wave = Wave(std::string(8, '\0'));
    std::string bad = wave;
    bad[3] = 'X';
    EXPECT_EQ(Load(bad, &slot), (Codes{"ERROR_4"}));
    bad = wave;
    bad[11] = 'X';
    EXPECT_EQ(Load(bad, &slot), (Codes{"ERROR_5"}));
    EXPECT_EQ(slot, nullptr);
}

TEST_F(WaveLoad, BodySizesBeyondTheFileGiveError9WithoutTheAllocation) {
    LPDIRECTSOUNDBUFFER slot = nullptr;
    const std::string wave = Wave(std::string(8, '\0'));
    // One byte short of what the RIFF size promises.
    EXPECT_EQ(Load(wave.substr(0, wave.size() - 1), &slot), (Codes{"ERROR_9"}));
    // Sizes that no file here holds: near 4 GiB, and below 4 (the body size wraps).
    for (std::uint32_t r : {0xFFFFFFF0u, 0xFFFFFFFFu, 0u, 3u}) {
        std::string lie = wave;
        lie.replace(4, 4, Le32(r));
        EXPECT_EQ(Load(lie, &slot), (Codes{"ERROR_9"})) << r;
    }
    EXPECT_EQ(slot, nullptr);
}

TEST_F(WaveLoad, BodyThatCannotBeAllocatedGivesError7) {
    // A sparse file of 1 GiB, loaded with the address space limited below that: the body
    // size is true, so only the allocation can fail. In a child, to keep the limit there.
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
#endif
    const std::string path = dir + "/wave/big.wav";
    {
        std::string head = "RIFF" + Le32(1u << 30) + "WAVE";
        WriteFile(path, head);
        ASSERT_EQ(truncate(path.c_str(), (1 << 30) + 8), 0);
    }
    EXPECT_EXIT(LoadUnderMemoryLimit(ds, "wave\\big.wav", "ERROR_7"), ::testing::ExitedWithCode(0),
                "");
}

TEST_F(WaveLoad, ABodySizeBeyondTheFileIsRefusedBeforeItIsAllocated) {
    // A small file that claims a 1 GiB body: allocating it first would fail under the
    // limit with "ERROR_7"; refused for the file's size it gives "ERROR_9".
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
#endif
    WriteFile("wave/liar.wav",
              "RIFF" + Le32(1u << 30) + "WAVE" + Chunk("fmt ", FormatRecord(1, 16, 22050)));
    EXPECT_EXIT(LoadUnderMemoryLimit(ds, "wave\\liar.wav", "ERROR_9"), ::testing::ExitedWithCode(0),
                "");
}

TEST_F(WaveLoad, AHeaderThatCannotBeReadGivesError2) {
    // Reading this process's memory from offset 0 fails with an I/O error at once.
    ASSERT_EQ(symlink("/proc/self/mem", "wave/unreadable.wav"), 0);
    std::FILE* probe = std::fopen("wave/unreadable.wav", "rb");
    if (probe == nullptr) GTEST_SKIP() << "no /proc/self/mem here";
    std::fclose(probe);
    LPDIRECTSOUNDBUFFER slot = nullptr;
    const int before = errorLog.Count();
    EXPECT_EQ(LoadWave("wave\\unreadable.wav", ds, &slot), 0);
    EXPECT_EQ(CodesSince(before), (Codes{"ERROR_2"}));
    EXPECT_EQ(slot, nullptr);
}

TEST_F(WaveLoad, MissingChunksGiveTheSearchCodeThenTheirOwn) {
    LPDIRECTSOUNDBUFFER slot = nullptr;
    // An empty body: shorter than "fmt".
    EXPECT_EQ(Load(Riff(""), &slot), (Codes{"ERROR_15", "ERROR_10"}));
    EXPECT_EQ(Load(Riff(Chunk("data", std::string(8, '\0'))), &slot),
              (Codes{"ERROR_16", "ERROR_10"}));
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FormatRecord(1, 16, 22050))), &slot),
              (Codes{"ERROR_16", "ERROR_11"}));
    // "fmt " whose record runs past the body's end: refused once "data" was found too,
    // so that a body without "data" keeps the codes of the search.
    EXPECT_EQ(Load(Riff(Chunk("data", "") + "fmt " + Le32(16) + "\x01\x00\x01\x00"), &slot),
              (Codes{"ERROR_10"}));
    EXPECT_EQ(Load(Riff("fmt " + Le32(16) + "data"), &slot), (Codes{"ERROR_10"}));
    EXPECT_EQ(Load(Riff("fmt " + Le32(16) + "\x01\x00\x01\x00"), &slot),
              (Codes{"ERROR_16", "ERROR_11"}));
    // Just "fmt": the body is shorter than "data".
    EXPECT_EQ(Load(Riff("fmt"), &slot), (Codes{"ERROR_15", "ERROR_11"}));
    EXPECT_EQ(slot, nullptr);
}

TEST_F(WaveLoad, FormatsTheBufferRefusesGiveError12) {
    const std::string samples(64, '\x10');
    struct Case {
        const char* what;
        std::string format;
        // clang-format off
    } cases[] = {
        {"float samples", FormatRecord(1, 32, 22050, 3)},
        {"no channels", FormatRecord(0, 16, 22050)},
        {"three channels", FormatRecord(3, 16, 22050)},
        {"seven bits", FormatRecord(1, 7, 22050)},
        {"rate 0", FormatRecord(1, 16, 0)},
        // Too slow to be a sound: each of its samples would take many in the mix.
        {"rate 100", FormatRecord(1, 8, 100)},
        {"rate 3999", FormatRecord(2, 16, 3999)},
        {"block size that lies", FormatRecord(1, 16, 22050).replace(12, 2, Le16(4))},
    };
    // clang-format on
    for (const Case& c : cases) {
        LPDIRECTSOUNDBUFFER slot = nullptr;
        int result = -1;
        EXPECT_EQ(Load(Riff(Chunk("fmt ", c.format) + Chunk("data", samples)), &slot, &result),
                  (Codes{"ERROR_12"}))
            << c.what;
        EXPECT_EQ(result, 0) << c.what;
        EXPECT_EQ(slot, nullptr) << c.what;
    }
    // No samples at all, and a "data" tag whose length field is cut by the body's end.
    LPDIRECTSOUNDBUFFER slot = nullptr;
    EXPECT_EQ(Load(Wave(""), &slot), (Codes{"ERROR_12"}));
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FormatRecord(1, 16, 22050)) + "data\x08"), &slot),
              (Codes{"ERROR_12"}));
    EXPECT_EQ(slot, nullptr);

    // A sound that would pass 32 MiB once at the mix rate (8-bit mono at 4000 Hz grows
    // eleven times), and the lowest rate taken, at both sides of that bound.
    const struct {
        std::uint32_t bytes;
        Codes codes;
    } sizes[] = {{3000000, Codes{}}, {3100000, Codes{"ERROR_12"}}};
    for (const auto& c : sizes) {
        SCOPED_TRACE(c.bytes);
        slot = nullptr;
        EXPECT_EQ(Load(Riff(Chunk("fmt ", FormatRecord(1, 8, 4000)) +
                            Chunk("data", std::string(c.bytes, '\x90'))),
                       &slot),
                  c.codes);
        EXPECT_EQ(slot != nullptr, c.codes.empty());
        if (slot) slot->Release();
    }
}

TEST_F(WaveLoad, SamplesComeFromTheFirstDataTagCutToTheBody) {
    // "data" inside a LIST chunk before the real one is taken for the data chunk.
    const std::string fake = "abcd";
    const std::string real(400, '\x55');
    const std::string body = Chunk("fmt ", FormatRecord(1, 16, 22050)) +
                             Chunk("LIST", "INFOdata" + Le32(4) + fake) + Chunk("data", real);
    LPDIRECTSOUNDBUFFER slot = nullptr;
    int result = 0;
    EXPECT_EQ(Load(Riff(body), &slot, &result), Codes{});
    ASSERT_EQ(result, 1);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(BufferBytes(slot, 4), fake);
    EXPECT_EQ(BufferBytes(slot, 5), "");  // the buffer holds exactly those 4 bytes
    slot->Release();

    // A data length past the body's end keeps just the bytes that are there.
    std::string samples;
    for (int i = 0; i < 100; ++i) samples += static_cast<char>(i);
    LPDIRECTSOUNDBUFFER cut = nullptr;
    EXPECT_EQ(Load(Riff(Chunk("fmt ", FormatRecord(1, 8, 11025)) + "data" + Le32(100000) + samples),
                   &cut, &result),
              Codes{});
    ASSERT_EQ(result, 1);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(BufferBytes(cut, 100), samples);
    EXPECT_EQ(BufferBytes(cut, 101), "");
    cut->Release();
}

TEST_F(WaveLoad, ALoadedSlotIsRefilledInPlace) {
    LPDIRECTSOUNDBUFFER slot = nullptr;
    int result = 0;
    EXPECT_EQ(Load(Wave(std::string(200, 'a')), &slot, &result), Codes{});
    ASSERT_EQ(result, 1);
    LPDIRECTSOUNDBUFFER first = slot;
    EXPECT_EQ(Load(Wave(std::string(200, 'b')), &slot, &result), Codes{});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(slot, first);
    EXPECT_EQ(BufferBytes(slot, 200), std::string(200, 'b'));

    // More samples than the buffer holds cannot be locked: the slot keeps its buffer.
    EXPECT_EQ(Load(Wave(std::string(202, 'c')), &slot, &result), (Codes{"ERROR_13"}));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(slot, first);
    EXPECT_EQ(BufferBytes(slot, 200), std::string(200, 'b'));
    // A file that fails to load leaves the held buffer as it was.
    EXPECT_EQ(Load("RIFF", &slot), (Codes{"ERROR_3"}));
    EXPECT_EQ(slot, first);
    slot->Release();
}

}  // namespace
