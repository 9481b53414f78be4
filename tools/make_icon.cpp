// Writes the program's icon: one 32 x 32 image at 24 bits per pixel, a red arrow pointing down
// above the letters MDX in dark blue serif capitals, on white with a thin grey border.
// Usage: make_icon OUTPUT.ico   (returns 0 on success, 1 on failure)

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int kSize = 32;

struct Colour {
    std::uint8_t red, green, blue;
};

constexpr Colour kWhite = {255, 255, 255};
constexpr Colour kGrey = {128, 128, 128};
constexpr Colour kRed = {220, 0, 0};
constexpr Colour kDarkBlue = {0, 0, 128};

Colour g_pixels[kSize][kSize]; // [row from the top][column]

// The arrow: a shaft above a head whose rows narrow by one pixel on each side.
const char* const kArrow[] = {
    ".....######.....",
    ".....######.....",
    ".....######.....",
    ".....######.....",
    ".....######.....",
    ".....######.....",
    ".....######.....",
    "################",
    ".##############.",
    "..############..",
    "...##########...",
    "....########....",
    ".....######.....",
    "......####......",
    ".......##.......",
};

// Serif capitals, 9 rows high: thick stems, thin hairlines, feet and heads on every stem.
const char* const kLetterM[] = {
    "###...###",
    ".##...##.",
    ".###.###.",
    ".#.###.#.",
    ".#..#..#.",
    ".#.....#.",
    ".#.....#.",
    ".#.....#.",
    "###...###",
};
const char* const kLetterD[] = {
    "######..",
    ".##...#.",
    ".##....#",
    ".##....#",
    ".##....#",
    ".##....#",
    ".##....#",
    ".##...#.",
    "######..",
};
const char* const kLetterX[] = {
    "###..###",
    ".##...#.",
    "..##.#..",
    "...##...",
    "...##...",
    "..#.##..",
    ".#...##.",
    ".#...##.",
    "###..###",
};

// Paints every '#' of a picture of rowCount rows in colour, its top left corner at (left, top).
template <int rowCount>
void Paint(const char* const (&picture)[rowCount], int left, int top, Colour colour)
{
    for (int row = 0; row < rowCount; ++row) {
        const std::string line = picture[row];
        for (int column = 0; column < static_cast<int>(line.size()); ++column) {
            if (line[column] == '#') {
                g_pixels[top + row][left + column] = colour;
            }
        }
    }
}

void DrawIcon()
{
    for (int row = 0; row < kSize; ++row) {
        for (int column = 0; column < kSize; ++column) {
            const bool edge = row == 0 || row == kSize - 1 || column == 0 || column == kSize - 1;
            g_pixels[row][column] = edge ? kGrey : kWhite;
        }
    }
    Paint(kArrow, 8, 2, kRed);
    Paint(kLetterM, 3, 20, kDarkBlue);
    Paint(kLetterD, 13, 20, kDarkBlue);
    Paint(kLetterX, 22, 20, kDarkBlue);
}

void AppendUint16(std::string& out, std::uint32_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void AppendUint32(std::string& out, std::uint32_t value)
{
    AppendUint16(out, value & 0xFFFF);
    AppendUint16(out, value >> 16);
}

// The icon file: directory, one entry, then the image as a bitmap header, the colour rows
// bottom-up in blue-green-red order, and an all-zero (fully opaque) AND mask.
std::string EncodeIcon()
{
    constexpr std::uint32_t kRowBytes = kSize * 3;       // 96: already a multiple of 4
    constexpr std::uint32_t kMaskRowBytes = kSize / 8;   // 4: 1 bit per pixel, a multiple of 4
    constexpr std::uint32_t kHeaderBytes = 40;           // BITMAPINFOHEADER
    constexpr std::uint32_t kImageBytes = kHeaderBytes + kSize * kRowBytes + kSize * kMaskRowBytes;
    constexpr std::uint32_t kImageOffset = 6 + 16;       // after the directory and its one entry

    std::string out;
    AppendUint16(out, 0);             // reserved
    AppendUint16(out, 1);             // type: icon
    AppendUint16(out, 1);             // image count
    out += static_cast<char>(kSize);  // width
    out += static_cast<char>(kSize);  // height
    out += static_cast<char>(0);      // palette size: none
    out += static_cast<char>(0);      // reserved
    AppendUint16(out, 1);             // planes
    AppendUint16(out, 24);            // bits per pixel
    AppendUint32(out, kImageBytes);
    AppendUint32(out, kImageOffset);

    AppendUint32(out, kHeaderBytes);
    AppendUint32(out, kSize);         // width
    AppendUint32(out, kSize * 2);     // height of the colour rows and the mask together
    AppendUint16(out, 1);             // planes
    AppendUint16(out, 24);            // bits per pixel
    for (int field = 0; field < 6; ++field) {
        AppendUint32(out, 0);         // no compression, no size hint, resolution, palette
    }
    for (int row = kSize - 1; row >= 0; --row) {
        for (int column = 0; column < kSize; ++column) {
            out += static_cast<char>(g_pixels[row][column].blue);
            out += static_cast<char>(g_pixels[row][column].green);
            out += static_cast<char>(g_pixels[row][column].red);
        }
    }
    out.append(kSize * kMaskRowBytes, '\0');
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 1;
    }
    DrawIcon();
    const std::string icon = EncodeIcon();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "make_icon: cannot create %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(icon.data(), 1, icon.size(), file) == icon.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
