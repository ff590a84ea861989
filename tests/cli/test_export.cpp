// bitloupe-cli export run as a user runs it: a real file on disk, the program
// started through the shell, its exit code and message checked, and its
// pictures read back with libpng, by a PBM reader of our own and by
// ImageMagick, against the file's bytes and the layout reference.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "engine/layout_reference.h"

namespace {

// A folder of the test's own, removed afterwards.
struct Folder {
    std::string path;
    Folder()
    {
        char name[] = "/tmp/bitloupe-cli-test.XXXXXX";
        path = mkdtemp(name) ? name : "/nonexistent";
    }
    ~Folder() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Runs `command` through the shell: its exit code (-1 if it did not exit) and standard output.
std::pair<int, std::string> run(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, ""};
    std::string out;
    char buffer[256];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// A decoded 1-bit picture.
struct Image {
    int64_t width = 0, height = 0;
    std::vector<uint8_t> packed;  // the rows as stored, 8 pixels a byte (PNG, P4)
    std::vector<uint8_t> pixels;  // one byte a pixel, 1 white
    bool padding_clear = true;    // the stored bits after each row's last pixel were 0
};

// Unpacks stored rows; `white` is the value of a white pixel's bit.
void unpack(Image& image, int white)
{
    const int64_t row_bytes = (image.width + 7) / 8;
    for (int64_t y = 0; y < image.height; ++y)
        for (int64_t x = 0; x < row_bytes * 8; ++x) {
            const int bit = image.packed[y * row_bytes + x / 8] >> (7 - x % 8) & 1;
            if (x < image.width) image.pixels.push_back(bit == white);
            else if (bit) image.padding_clear = false;
        }
}

// A 1-bit grayscale PNG through libpng, rows as stored (no transformations).
bool read_png(const std::string& path, Image& image)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);  // over a million rows are allowed
    png_read_info(png, info);
    bool one_bit_grey = png_get_bit_depth(png, info) == 1 && png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY &&
                        png_get_interlace_type(png, info) == PNG_INTERLACE_NONE;
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    if (one_bit_grey) {
        const size_t row_bytes = png_get_rowbytes(png, info);
        image.packed.resize(row_bytes * image.height);
        for (int64_t y = 0; y < image.height; ++y) png_read_row(png, image.packed.data() + y * row_bytes, nullptr);
        png_read_end(png, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(file);
    if (one_bit_grey) unpack(image, 1);
    return one_bit_grey;
}

// A PBM, raw (P4) or plain (P1), with comments anywhere in the header.
bool read_pbm(const std::string& path, Image& image)
{
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    size_t at = 2;
    auto number = [&]() -> int64_t {
        while (at < text.size() && (isspace(text[at]) || text[at] == '#'))
            at = text[at] == '#' ? text.find('\n', at) : at + 1;
        int64_t value = 0;
        for (; at < text.size() && isdigit(text[at]); ++at) value = value * 10 + (text[at] - '0');
        return value;
    };
    image.width = number();
    image.height = number();
    ++at;  // the one whitespace character before the raster
    if (text.compare(0, 2, "P4") == 0) {
        const size_t size = static_cast<size_t>((image.width + 7) / 8 * image.height);
        if (text.size() - at != size) return false;
        image.packed.assign(text.begin() + at, text.end());
        unpack(image, 0);
        return true;
    }
    if (text.compare(0, 2, "P1") != 0) return false;
    for (--at; at < text.size(); ++at)
        if (text[at] == '0' || text[at] == '1') image.pixels.push_back(text[at] == '0');
    return static_cast<int64_t>(image.pixels.size()) == image.width * image.height;
}

// A file of random bytes on disk.
std::vector<uint8_t> make_file(const std::string& path, size_t size)
{
    std::mt19937 random(size);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return bytes;
}

// The command line of `layout`, as a user would type it.
std::string export_command(const std::string& file, const std::string& output, const BitLayout& l)
{
    std::string c = quoted(BITLOUPE_CLI) + " export " + quoted(file) + " -o " + quoted(output) + " --start " +
                    std::to_string(l.start_bit / 8) + "." + std::to_string(l.start_bit % 8) +
                    (l.tiles_per_row ? " --tile " + std::to_string(l.tile_width) + "x" + std::to_string(l.tile_height) +
                                           " --tiles-per-row " + std::to_string(l.tiles_per_row)
                                     : " --width-bits " + std::to_string(l.width_bits)) +
                    " --rows " + std::to_string(l.rows);
    const int64_t cell_width = l.tiles_per_row ? l.tile_width : l.width_bits;
    if (l.stride_bits != default_stride(cell_width, l.vertical)) c += " --stride-bits " + std::to_string(l.stride_bits);
    return c + (l.lsb ? " --lsb" : "") + (l.vertical ? " --vertical" : "") + (l.bottom_up ? " --bottom-up" : "") +
           (l.invert ? " --invert" : "");
}

// What export prints when it has written `output`.
std::string summary(const std::string& output, const BitLayout& l, int64_t past_end)
{
    std::string s = "wrote " + output + " (" + std::to_string(l.width_bits) + " x " + std::to_string(l.rows) + ")";
    if (past_end) s += "; " + std::to_string(past_end) + " pixels lay past the end of the file (black)";
    return s + "\n";
}

// Exports `layout` of `file` to `output` and reads the picture back.
Image export_and_read(const std::string& file, const std::string& output, const BitLayout& layout,
                      int64_t past_end)
{
    const auto [code, out] = run(export_command(file, output, layout));
    EXPECT_EQ(code, 0) << export_command(file, output, layout);
    EXPECT_EQ(out, summary(output, layout, past_end));
    Image image;
    const bool png = output.ends_with(".png");
    EXPECT_TRUE(png ? read_png(output, image) : read_pbm(output, image)) << output;
    EXPECT_EQ(image.width, layout.width_bits);
    EXPECT_EQ(image.height, layout.rows);
    EXPECT_TRUE(image.padding_clear);
    return image;
}

constexpr size_t FILE_BYTES = 1000;

TEST(CliExport, WholeBytesARowAreTheFileBytesThemselves)
{
    // Over a mebibyte, and as many rows: the PNG's height passes libpng's default limit.
    constexpr int64_t SIZE = 1100000;
    Folder folder;
    const std::vector<uint8_t> bytes = make_file(folder / "data.bin", SIZE);
    // start byte, width, rows: the whole file, a picture running past its end, one byte of it left.
    const int64_t cases[][3] = {{0, 8, SIZE}, {SIZE - 995, 24, 400}, {SIZE - 1, 64, 3}};
    for (const auto& c : cases) {
        for (bool invert : {false, true}) {
            const BitLayout layout{c[0] * 8, c[1], c[1], c[2], false, false, false, invert};
            SCOPED_TRACE(export_command("data.bin", "OUT", layout));
            const int64_t size = c[1] / 8 * c[2];
            const int64_t inside = std::min<int64_t>(size, SIZE - c[0]);
            // The bytes a PNG stores (1 white), and past the end black (0).
            std::vector<uint8_t> expected(bytes.begin() + c[0], bytes.begin() + c[0] + inside);
            for (uint8_t& b : expected) b = invert ? ~b : b;
            expected.resize(static_cast<size_t>(size), 0);
            EXPECT_EQ(export_and_read(folder / "data.bin", folder / "out.png", layout, 8 * (size - inside)).packed,
                      expected);
            // A PBM stores their complement byte for byte.
            for (uint8_t& b : expected) b = ~b;
            EXPECT_EQ(export_and_read(folder / "data.bin", folder / "out.pbm", layout, 8 * (size - inside)).packed,
                      expected);
        }
    }
}

// Layouts through the per-row path: bit starts, both bit orders, vertical
// bands, strides larger and smaller than the width, pictures past the end.
const BitLayout LAYOUTS[] = {
    {3 * 8 + 5, 13, 13, 700, true, false, false, false},
    {3, 33, 8 * 33, 300, false, true, true, true},
    {17 * 8, 12, 101, 90, false, false, true, true},
    {2 * 8 + 7, 8, 8, 500, true, false, false, true},
    {0, 16, 12, 800, false, false, false, false},
    {8, 40, 300, 30, true, true, false, false},
    // Tiles: 8 x 8 cells of a font, 16 to a row; 5 x 8 cells of vertical
    // bytes (an LCD font), 6 to a row, least significant bit on top; cells
    // of 3 x 7 with a stride and rows inside a cell reversed.
    {0, 128, 8, 40, false, false, false, false, 8, 8, 16},
    {5 * 8, 30, 40, 24, true, true, false, false, 5, 8, 6},
    {3, 21, 5, 30, false, false, true, true, 3, 7, 7},
};

TEST(CliExport, LayoutsMatchTheReference)
{
    Folder folder;
    const std::vector<uint8_t> bytes = make_file(folder / "data.bin", FILE_BYTES);
    for (const BitLayout& layout : LAYOUTS) {
        SCOPED_TRACE(export_command("data.bin", "OUT", layout));
        const LayoutPicture expected = reference_picture(layout, bytes.data(), FILE_BYTES);
        for (const char* name : {"out.png", "out.pbm"})
            EXPECT_EQ(export_and_read(folder / "data.bin", folder / name, layout, expected.past_end).pixels,
                      expected.pixels)
                << name;
    }
}

// --scale 3: every pixel of a tiled picture as 3 x 3 of the same.
TEST(CliExport, ScaleDrawsEachBitAsASquare)
{
    Folder folder;
    const std::vector<uint8_t> bytes = make_file(folder / "data.bin", FILE_BYTES);
    const BitLayout& layout = LAYOUTS[6];
    const LayoutPicture expected = reference_picture(layout, bytes.data(), FILE_BYTES);
    for (const char* name : {"big.png", "big.pbm"}) {
        SCOPED_TRACE(name);
        const auto [code, out] = run(export_command(folder / "data.bin", folder / name, layout) + " --scale 3");
        EXPECT_EQ(code, 0) << out;
        Image image;
        ASSERT_TRUE(std::string(name).ends_with(".png") ? read_png(folder / name, image) : read_pbm(folder / name, image));
        ASSERT_EQ(image.width, layout.width_bits * 3);
        ASSERT_EQ(image.height, layout.rows * 3);
        int64_t wrong = 0;
        for (int64_t y = 0; y < image.height; ++y)
            for (int64_t x = 0; x < image.width; ++x)
                wrong += image.pixels[y * image.width + x] != expected.pixels[y / 3 * layout.width_bits + x / 3];
        EXPECT_EQ(wrong, 0);
        EXPECT_TRUE(image.padding_clear);
    }
}

// ImageMagick's reading of one PNG and one PBM of ours, written out again as
// plain-text PBM, against the reference.
TEST(CliExport, ImageMagickReadsThePicturesAlike)
{
    const std::string convert = BITLOUPE_CONVERT;
    ASSERT_FALSE(convert.empty()) << "ImageMagick's convert was not found when the build was configured";
    Folder folder;
    const std::vector<uint8_t> bytes = make_file(folder / "data.bin", FILE_BYTES);
    const BitLayout& layout = LAYOUTS[1];
    const LayoutPicture expected = reference_picture(layout, bytes.data(), FILE_BYTES);
    for (const char* name : {"out.png", "out.pbm"}) {
        SCOPED_TRACE(name);
        export_and_read(folder / "data.bin", folder / name, layout, expected.past_end);
        const std::string plain = folder / "plain.pbm";
        EXPECT_EQ(run(quoted(convert) + " " + quoted(folder / name) + " -compress none " + quoted(plain)).first, 0);
        Image image;
        EXPECT_TRUE(read_pbm(plain, image));
        EXPECT_EQ(image.width, layout.width_bits);
        EXPECT_EQ(image.pixels, expected.pixels);
    }
}

}  // namespace
