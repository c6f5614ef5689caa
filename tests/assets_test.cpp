// The committed pictures and sounds: made by the generator, in the formats the game
// reads, with every sprite where the scenes cut it.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string kSource = ZUMBLE_SOURCE_DIR;
const std::string kGenerator = std::string(ZUMBLE_BINARY_DIR) + "/zumble_assets";

const char* const kFiles[] = {
    "bmp/title.bmp",
    "bmp/gamemode.bmp",
    "bmp/game.bmp",
    "wave/cry1.wav",
    "wave/swing1.wav",
    "wave/hit1.wav",
    "wave/button1.wav",
    "wave/ok1.wav",
    "wave/tclick1.wav",
    "wave/tclick2.wav",
    "wave/bgm1.wav",
    "packaging/icons/zumble-16.png",
    "packaging/icons/zumble-32.png",
    "packaging/icons/zumble-48.png",
    "packaging/icons/zumble-64.png",
    "packaging/icons/zumble-128.png",
    "packaging/icons/zumble-256.png",
    "packaging/icons/zumble-192.png",
    "packaging/icons/zumble-512.png",
};

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

struct Rect {
    int left, top, right, bottom;
};

struct Sheet {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<std::uint8_t> colours;  // 256 x (r, g, b)
    std::vector<std::uint8_t> pixels;   // top row first

    int At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    int Luma(int index) const {
        return (299 * colours[3 * index] + 587 * colours[3 * index + 1] +
                114 * colours[3 * index + 2]) /
               1000;
    }
};

// Reads the bitmap as the game's loader does, and also checks the fields it skips,
// so the files stay valid bitmaps for any viewer.
Sheet ReadSheet(const std::string& name) {
    Sheet s;
    const auto b = ReadFile(kSource + "/bmp/" + name);
    if (b.size() < 1078 || b[0] != 'B' || b[1] != 'M') return s;
    EXPECT_EQ(U32(b, 2), b.size()) << name << ": file size field";
    EXPECT_EQ(U32(b, 10), 1078u) << name << ": pixel offset";
    EXPECT_EQ(U32(b, 14), 40u) << name << ": info header size";
    EXPECT_EQ(U16(b, 26), 1) << name << ": planes";
    EXPECT_EQ(U32(b, 30), 0u) << name << ": compression";
    if (U16(b, 28) != 8) return s;
    s.width = static_cast<std::int32_t>(U32(b, 18));
    s.height = static_cast<std::int32_t>(U32(b, 22));
    if (s.width <= 0 || s.height <= 0) return s;
    if (b.size() != 1078u + static_cast<std::size_t>(s.width) * s.height) return s;
    for (int i = 0; i < 256; ++i) {
        s.colours.push_back(b[54 + 4 * i + 2]);
        s.colours.push_back(b[54 + 4 * i + 1]);
        s.colours.push_back(b[54 + 4 * i]);
    }
    for (int y = s.height - 1; y >= 0; --y)
        s.pixels.insert(s.pixels.end(), b.begin() + 1078 + static_cast<std::ptrdiff_t>(y) * s.width,
                        b.begin() + 1078 + static_cast<std::ptrdiff_t>(y + 1) * s.width);
    s.ok = true;
    return s;
}

// Where the scenes cut their pictures.
// clang-format off
const std::vector<Rect> kPlayRects = {
    {0, 0, 640, 480},     {0, 480, 19, 500},    {19, 480, 36, 500},   {36, 480, 59, 503},
    {233, 480, 253, 499}, {253, 480, 272, 499}, {273, 480, 293, 498}, {293, 480, 301, 488},
    {293, 488, 301, 496}, {123, 480, 139, 512}, {139, 480, 157, 510}, {213, 480, 233, 499},
    {157, 480, 182, 511}, {182, 480, 213, 511}, {301, 480, 449, 518}, {0, 509, 11, 525},
    {11, 509, 17, 525},   {17, 509, 26, 525},   {26, 509, 37, 525},   {37, 509, 48, 525},
    {48, 509, 57, 525},   {57, 509, 68, 525},   {68, 509, 78, 525},   {78, 509, 89, 525},
    {89, 509, 100, 525},  {100, 509, 102, 525}, {102, 509, 111, 525}, {112, 509, 114, 525},
};
// clang-format on
// clang-format off
const std::vector<Rect> kModeRects = {
    {0, 0, 127, 43},    {127, 0, 155, 43},    {155, 0, 170, 43},    {170, 0, 196, 43},
    {223, 0, 402, 43},  {402, 0, 524, 43},    {0, 43, 218, 88},     {218, 43, 357, 88},
    {360, 43, 491, 85}, {0, 88, 292, 132},    {292, 88, 308, 120},  {308, 88, 326, 118},
    {0, 132, 11, 150},  {11, 132, 22, 150},   {22, 132, 33, 150},   {33, 132, 44, 150},
    {44, 132, 60, 148},
};
// clang-format on
// clang-format off
const std::vector<Rect> kTitleRects = {
    {0, 0, 340, 124},     {0, 132, 16, 148},    {16, 132, 122, 148},  {122, 132, 192, 149},
    {192, 132, 302, 151}, {302, 132, 375, 153}, {0, 149, 125, 159},   {125, 149, 134, 164},
    {134, 149, 142, 164}, {142, 149, 145, 164}, {145, 149, 153, 164}, {153, 149, 162, 164},
    {162, 149, 171, 164}, {171, 149, 181, 164}, {181, 149, 190, 164}, {190, 151, 209, 171},
    {209, 151, 226, 171}, {226, 151, 242, 183}, {242, 151, 260, 181},
};
// clang-format on

struct SheetCase {
    const char* file;
    int key;
    const std::vector<Rect>* rects;
};
// clang-format off
const SheetCase kSheets[] = {
    {"title.bmp", 255, &kTitleRects},
    {"gamemode.bmp", 106, &kModeRects},
    {"game.bmp", 255, &kPlayRects},
};
// clang-format on

bool Covered(const std::vector<Rect>& rects, int x, int y) {
    return std::any_of(rects.begin(), rects.end(), [&](const Rect& r) {
        return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    });
}

std::vector<int> Samples(const std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t bytes) {
    std::vector<int> s;
    for (std::size_t i = at; i + 1 < at + bytes; i += 2)
        s.push_back(static_cast<std::int16_t>(U16(b, i)));
    return s;
}

}  // namespace

TEST(Assets, GeneratorReproducesTheCommittedFiles) {
    struct stat info {};
    ASSERT_EQ(::stat(kGenerator.c_str(), &info), 0)
        << kGenerator << " is missing: build the zumble_assets target before this test";
    char dir[] = "/tmp/zumble_assets_XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string out = dir;
    ASSERT_EQ(std::system(("'" + kGenerator + "' '" + out + "'").c_str()), 0);
    for (const char* name : kFiles) {
        const auto made = ReadFile(out + "/" + name);
        const auto committed = ReadFile(kSource + "/" + name);
        EXPECT_FALSE(made.empty()) << name << " was not generated";
        EXPECT_TRUE(made == committed) << name << " differs from the generator's output; "
                                       << "rerun build/zumble_assets . and commit";
        std::remove((out + "/" + name).c_str());
    }
    ::rmdir((out + "/bmp").c_str());
    ::rmdir((out + "/wave").c_str());
    ::rmdir((out + "/packaging/icons").c_str());
    ::rmdir((out + "/packaging").c_str());
    ::rmdir(out.c_str());
}

TEST(Assets, SheetsAreEightBitWithTheirKeysAndEveryPictureInPlace) {
    for (const SheetCase& c : kSheets) {
        SCOPED_TRACE(c.file);
        const Sheet s = ReadSheet(c.file);
        ASSERT_TRUE(s.ok) << "not an 8-bit bitmap the game can load";
        EXPECT_EQ(s.width, 640);
        EXPECT_LE(s.height, 630);
        for (const Rect& r : *c.rects) {
            ASSERT_LE(r.bottom, s.height) << "sheet too short for its pictures";
            bool painted = false;
            for (int y = r.top; y < r.bottom && !painted; ++y)
                for (int x = r.left; x < r.right && !painted; ++x) painted = s.At(x, y) != c.key;
            EXPECT_TRUE(painted) << "empty picture at (" << r.left << ", " << r.top << ")";
        }
        // Around the sprites only the key, so nothing stray shows if a cut is a pixel off.
        int stray = 0;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                if (!Covered(*c.rects, x, y) && s.At(x, y) != c.key) ++stray;
        EXPECT_EQ(stray, 0) << "pixels outside every picture are not see-through";
        const int k = c.key;
        EXPECT_EQ(s.colours[3 * k], 255);
        EXPECT_EQ(s.colours[3 * k + 1], 106);
        EXPECT_EQ(s.colours[3 * k + 2], 255);
    }
}

TEST(Assets, PalettesKeepTheColoursTheScenesClearTo) {
    for (const char* name : {"title.bmp", "game.bmp"}) {
        const Sheet s = ReadSheet(name);
        ASSERT_TRUE(s.ok) << name;
        EXPECT_EQ(s.colours[0] + s.colours[1] + s.colours[2], 0) << name << ": index 0 is black";
    }
    const Sheet mode = ReadSheet("gamemode.bmp");
    ASSERT_TRUE(mode.ok);
    // The mode-select leave fill: a calm mid-dark colour, neither black nor glaring.
    EXPECT_GT(mode.Luma(156), 20);
    EXPECT_LT(mode.Luma(156), 140);
    for (int y = 0; y < mode.height; ++y)
        for (int x = 0; x < mode.width; ++x)
            ASSERT_NE(mode.At(x, y), 255) << "index 255 is not see-through here";
}

TEST(Assets, DigitGlyphsStayInsideTheirSpans) {
    const Sheet s = ReadSheet("game.bmp");
    ASSERT_TRUE(s.ok);
    const int edges[] = {0, 11, 17, 26, 37, 48, 57, 68, 78, 89, 100, 102, 111};
    for (int g = 0; g + 1 < static_cast<int>(std::size(edges)); ++g) {
        const int left = edges[g], right = edges[g + 1];
        SCOPED_TRACE("glyph from x=" + std::to_string(left));
        int lit = 0;
        for (int y = 509; y < 525; ++y)
            for (int x = left; x < right; ++x)
                if (s.At(x, y) != 255 && s.Luma(s.At(x, y)) >= 100) ++lit;
        EXPECT_GT(lit, 6) << "no visible strokes";
        // Bright strokes keep off the span's outer columns (the colon's two columns
        // are all stroke), so no glyph runs into its neighbour when cut out.
        if (right - left < 3) continue;
        for (int y = 509; y < 525; ++y)
            for (int x : {left, right - 1})
                EXPECT_TRUE(s.At(x, y) == 255 || s.Luma(s.At(x, y)) < 100)
                    << "stroke on the edge column x=" << x << " y=" << y;
    }
    for (int y = 509; y < 525; ++y) EXPECT_EQ(s.At(111, y), 255) << "gap before the point";
}

TEST(Assets, SoundsAreMonoPcmInTheLayoutTheGameReads) {
    std::size_t total = 0;
    for (const char* name : kFiles) {
        if (std::string(name).rfind("wave/", 0) != 0) continue;
        SCOPED_TRACE(name);
        const auto b = ReadFile(kSource + "/" + name);
        total += b.size();
        ASSERT_GE(b.size(), 44u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE");
        EXPECT_EQ(U32(b, 4), b.size() - 8) << "RIFF size";
        // The loader takes the first "fmt" and the first "data" anywhere in the body.
        const std::string body(b.begin() + 12, b.end());
        const auto fmt = body.find("fmt");
        const auto data = body.find("data");
        ASSERT_NE(fmt, std::string::npos);
        ASSERT_NE(data, std::string::npos);
        EXPECT_EQ(fmt, 0u);
        const std::size_t format = 12 + fmt + 8;
        const std::uint32_t format_bytes = U32(b, 12 + fmt + 4);
        EXPECT_TRUE(format_bytes == 16 || format_bytes == 18);
        EXPECT_EQ(data, fmt + 8 + format_bytes) << "data chunk right after the format";
        EXPECT_EQ(U16(b, format), 1) << "PCM";
        EXPECT_EQ(U16(b, format + 2), 1) << "mono";
        EXPECT_EQ(U32(b, format + 4), 22050u);
        EXPECT_EQ(U16(b, format + 14), 16);
        EXPECT_EQ(U32(b, format + 8), 44100u) << "bytes per second";
        const std::uint32_t length = U32(b, 12 + data + 4);
        ASSERT_EQ(12 + data + 8 + length, b.size()) << "data runs to the end of the file";
        const auto s = Samples(b, 12 + data + 8, length);
        int loudest = 0;
        for (int v : s) loudest = std::max(loudest, std::abs(v));
        EXPECT_GT(loudest, 8000) << "too quiet to hear in its slot";
        EXPECT_LT(loudest, 32767) << "clipped";
    }
    EXPECT_LT(total, 4u * 1024 * 1024);
}

TEST(Assets, LoopingSoundsJoinWithoutAClick) {
    for (const char* name : {"wave/cry1.wav", "wave/bgm1.wav"}) {
        SCOPED_TRACE(name);
        const auto b = ReadFile(kSource + "/" + name);
        ASSERT_GE(b.size(), 44u);
        const std::string body(b.begin() + 12, b.end());
        const auto data = body.find("data");
        ASSERT_NE(data, std::string::npos);
        const auto s = Samples(b, 12 + data + 8, U32(b, 12 + data + 4));
        ASSERT_GT(s.size(), 1000u);
        std::vector<int> steps;
        for (std::size_t i = 1; i < s.size(); ++i) steps.push_back(std::abs(s[i] - s[i - 1]));
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        const int typical = steps[steps.size() / 2];
        EXPECT_LE(std::abs(s.front() - s.back()), typical)
            << "the loop point steps further than the sound usually moves";
    }
    const auto music = ReadFile(kSource + "/wave/bgm1.wav");
    EXPECT_GE(music.size(), 44u + 20u * 22050u * 2u) << "music shorter than 20 seconds";
}

namespace {

bool Opaque(const Sheet& s, const Rect& r, int key) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (s.At(x, y) == key) return false;
    return true;
}

// Centre of the painted pixels of a picture, relative to its top-left corner.
std::pair<double, double> InkCentre(const Sheet& s, const Rect& r, int key) {
    double sx = 0, sy = 0, n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (s.At(x, y) != key) {
                sx += x - r.left;
                sy += y - r.top;
                ++n;
            }
    return {n > 0 ? sx / n : -1, n > 0 ? sy / n : -1};
}

int LowestInkRow(const Sheet& s, const Rect& r, int key) {
    for (int y = r.bottom - 1; y >= r.top; --y)
        for (int x = r.left; x < r.right; ++x)
            if (s.At(x, y) != key) return y;
    return -1;
}

}  // namespace

TEST(Assets, BackgroundsAndTilesHaveNoSeeThroughHoles) {
    // They are drawn first each frame: a key pixel would let the last frame show through.
    const Sheet play = ReadSheet("game.bmp");
    const Sheet title = ReadSheet("title.bmp");
    const Sheet mode = ReadSheet("gamemode.bmp");
    ASSERT_TRUE(play.ok && title.ok && mode.ok);
    EXPECT_TRUE(Opaque(play, {0, 0, 640, 480}, 255));
    EXPECT_TRUE(Opaque(title, {0, 132, 16, 148}, 255));
    EXPECT_TRUE(Opaque(mode, {44, 132, 60, 148}, 106));
}

TEST(Assets, SwattersAndFliesSitOnTheGameHotSpots) {
    const Sheet play = ReadSheet("game.bmp");
    ASSERT_TRUE(play.ok);
    // The hit lands at the cursor + (8, 8): the pressed swatter is drawn at the cursor and
    // the raised one 4 pixels to its left, so their heads must cover those points (the
    // mesh lets a quarter of the head show through).
    int pressed = 0, raised = 0;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            pressed += play.At(123 + 8 + dx, 480 + 8 + dy) != 255;
            raised += play.At(139 + 12 + dx, 480 + 8 + dy) != 255;
        }
    EXPECT_GE(pressed, 30) << "pressed swatter's head is not on the hot spot";
    EXPECT_GE(raised, 30) << "raised swatter's head is not on the hot spot";
    // A swat hits within 25 pixels of (x + 9, y + 9) of a fly drawn at (x, y): the fly's
    // picture has to be centred there for the hits to look fair.
    for (const Rect& fly : {Rect{0, 480, 19, 500}, Rect{19, 480, 36, 500}}) {
        const auto [cx, cy] = InkCentre(play, fly, 255);
        EXPECT_NEAR(cx, 9.0, 2.5);
        EXPECT_NEAR(cy, 9.0, 2.5);
    }
}

TEST(Assets, SwatMarksFadeStageByStage) {
    const Sheet play = ReadSheet("game.bmp");
    ASSERT_TRUE(play.ok);
    const Rect marks[] = {{233, 480, 253, 499}, {253, 480, 272, 499}, {273, 480, 293, 498}};
    // Contrast with the table under them, averaged over each mark's painted pixels.
    const int table = play.Luma(play.At(320, 300));
    double previous = 1e9;
    for (const Rect& r : marks) {
        double contrast = 0, n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (play.At(x, y) != 255) {
                    contrast += std::abs(play.Luma(play.At(x, y)) - table);
                    ++n;
                }
        ASSERT_GT(n, 0);
        EXPECT_LT(contrast, previous) << "mark at x=" << r.left << " is not fainter than the last";
        previous = contrast;
    }
}

TEST(Assets, FlyCountAndUnitShareABaseline) {
    const Sheet mode = ReadSheet("gamemode.bmp");
    ASSERT_TRUE(mode.ok);
    // All four stand on row 64 of the screen side by side.
    const int unit = LowestInkRow(mode, {0, 0, 127, 43}, 106);
    for (const Rect& digit : {Rect{127, 0, 155, 43}, Rect{155, 0, 170, 43}, Rect{170, 0, 196, 43}})
        EXPECT_EQ(LowestInkRow(mode, digit, 106), unit) << "digit at x=" << digit.left;
}

TEST(Assets, OneShotSoundsStartAndEndInSilence) {
    for (const char* name : {"wave/swing1.wav", "wave/hit1.wav", "wave/button1.wav", "wave/ok1.wav",
                             "wave/tclick1.wav", "wave/tclick2.wav"}) {
        SCOPED_TRACE(name);
        const auto b = ReadFile(kSource + "/" + name);
        ASSERT_GE(b.size(), 44u);
        const auto s = Samples(b, 44, U32(b, 40));
        ASSERT_GT(s.size(), 100u);
        // A sound cut off mid-swing pops when it starts or stops.
        EXPECT_LT(std::abs(s.front()), 600);
        EXPECT_LT(std::abs(s.back()), 600);
    }
}

TEST(Assets, IconsShowTheSwatterAndTheFlyAtEverySize) {
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const std::string name = "packaging/icons/zumble-" + std::to_string(size) + ".png";
        SCOPED_TRACE(name);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, (kSource + "/" + name).c_str()))
            << "not a PNG";
        EXPECT_EQ(image.width, static_cast<png_uint_32>(size));
        EXPECT_EQ(image.height, static_cast<png_uint_32>(size));
        EXPECT_TRUE(image.format & PNG_FORMAT_FLAG_ALPHA) << "no see-through background";
        image.format = PNG_FORMAT_RGBA;
        std::vector<std::uint8_t> px(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, px.data(), 0, nullptr));
        if (image.width != static_cast<png_uint_32>(size) ||
            image.height != static_cast<png_uint_32>(size))
            continue;
        // Corners see-through; a good part of the square covered; the swatter's red and
        // the fly's dark body both there, solid.
        for (int at : {0, size - 1, size * (size - 1), size * size - 1})
            EXPECT_EQ(px[4 * at + 3], 0) << "corner pixel " << at << " is not see-through";
        int solid = 0, red = 0, dark = 0;
        for (int i = 0; i < size * size; ++i) {
            const std::uint8_t* p = &px[4 * i];
            if (p[3] < 250) continue;
            ++solid;
            red += p[0] > 150 && p[1] < 90 && p[2] < 90;
            dark += p[0] < 90 && p[1] < 90 && p[2] < 110 && p[0] + p[1] + p[2] > 30;
        }
        EXPECT_GT(solid, size * size / 4);
        EXPECT_GT(red, size * size / 20) << "no swatter to see";
        EXPECT_GT(dark, size * size / 50) << "no fly to see";
    }
}
