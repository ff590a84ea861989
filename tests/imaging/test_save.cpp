// Tests of image saving: the JPEG encoder against libjpeg's own output, the
// encoder table, the BMP writer, 32-bit compositing, and that a failed save
// never leaves a file behind nor destroys the file it was to replace.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include "drawing.h"
#include "images.h"
#include "registry.h"
#include "save.h"

namespace {

std::string g_folder;  // a fresh folder for this run, ending in a backslash

// Removes the test folder and what the tests left in it.
class FolderCleanup : public testing::Environment {
    void TearDown() override
    {
        if (g_folder.empty()) return;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((g_folder + "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string entry = g_folder + found.cFileName;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, ".."))
                        RemoveDirectoryA(entry.c_str());
                } else {
                    SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(entry.c_str());
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(g_folder.c_str());
    }
};
testing::Environment* const g_cleanup = testing::AddGlobalTestEnvironment(new FolderCleanup);

void init_once()
{
    static bool done = false;
    if (done) return;
    done = true;
    init_drawing();
    init_images();
    init_graphics_helpers();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    g_folder = std::string(temp) + "bitloupe-save-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(g_folder.c_str(), nullptr);
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

void write_file(const std::string& path, const std::string& content)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Names in the test folder: what a failed save must not add to.
std::vector<std::string> folder_entries()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((g_folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, ".."))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// Image 1 as the viewer makes it, with a picture whose top 16 rows are red
// (a whole row of colour blocks, so chroma subsampling keeps them red) and
// whose other rows carry a pattern. Returns its pixel memory.
uint8_t* make_view_image(int32_t* pitch)
{
    EXPECT_NE(create_image(1, 641, 481, 24), 0);
    auto* record = static_cast<ImageRecord*>(find_object(image_table(), 1));
    DIBSECTION dib;
    EXPECT_EQ(GetObjectA(record->handle, sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    auto* bits = static_cast<uint8_t*>(dib.dsBm.bmBits);
    *pitch = row_pitch(641, 24);
    for (int32_t row = 0; row < 481; ++row) {
        uint8_t* p = bits + static_cast<ptrdiff_t>(row) * *pitch;
        for (int32_t x = 0; x < 641; ++x, p += 3) {
            bool top = row >= 465;  // rows are bottom-up: the last ones are the top
            p[0] = top ? 0 : static_cast<uint8_t>(x * 7 + row);
            p[1] = top ? 0 : static_cast<uint8_t>(row * 3);
            p[2] = top ? 255 : static_cast<uint8_t>(x ^ row);
        }
    }
    return bits;
}

// What libjpeg makes of the same pixels with its defaults at a given quality.
std::vector<uint8_t> reference_jpeg(const uint8_t* bits, int32_t pitch, int32_t width, int32_t height,
                                    int library_quality)
{
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    error.output_message = [](j_common_ptr) {};
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, library_quality, FALSE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* from = bits + static_cast<ptrdiff_t>(height - 1 - y) * pitch;
        for (int32_t x = 0; x < width; ++x) {
            row[static_cast<size_t>(x) * 3 + 0] = from[x * 3 + 2];
            row[static_cast<size_t>(x) * 3 + 1] = from[x * 3 + 1];
            row[static_cast<size_t>(x) * 3 + 2] = from[x * 3 + 0];
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

struct Decoded {
    int width = 0, height = 0, components = 0;
    std::vector<uint8_t> rgb;
};

Decoded decode_jpeg(const std::vector<uint8_t>& bytes)
{
    Decoded result;
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    result.width = static_cast<int>(info.output_width);
    result.height = static_cast<int>(info.output_height);
    result.components = info.output_components;
    result.rgb.resize(static_cast<size_t>(result.width) * result.height * result.components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {result.rgb.data() + static_cast<size_t>(info.output_scanline) * result.width *
                                                    result.components};
        jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return result;
}

// An encoder for tests: records the pixels it is given, writes a little, and
// succeeds or fails as told.
std::vector<uint8_t> g_received;
bool g_encoder_fails = false;
int32_t test_encode(const char* path, const uint8_t* pixels, int32_t width, int32_t height, int32_t pitch, int32_t,
                    int32_t, int32_t)
{
    g_received.clear();
    for (int32_t row = 0; row < height; ++row)
        g_received.insert(g_received.end(), pixels + row * pitch, pixels + row * pitch + width * 3);
    FILE* file = std::fopen(path, "wb");
    if (!file) return 0;
    std::fputs("partial", file);
    std::fclose(file);
    return g_encoder_fails ? 0 : 1;
}
const ImageEncoder TEST_ENCODER = {0x54534554, test_encode, nullptr};

}  // namespace

TEST(SaveImage, JpegIsLibjpegsOwnOutputAtQuality70WithTheTopRowFirst)
{
    init_once();
    int32_t pitch = 0;
    uint8_t* bits = make_view_image(&pitch);
    use_jpeg_encoder();
    std::string path = g_folder + "view.jpg";
    ASSERT_EQ(save_image(1, path.c_str(), FORMAT_JPEG), 1);

    std::vector<uint8_t> saved = read_file(path);
    EXPECT_EQ(saved, reference_jpeg(bits, pitch, 641, 481, 70));
    Decoded picture = decode_jpeg(saved);
    EXPECT_EQ(picture.width, 641);
    EXPECT_EQ(picture.height, 481);
    ASSERT_EQ(picture.components, 3);
    // Red where the source's top row was red, and not in the row below it.
    const uint8_t* top = &picture.rgb[static_cast<size_t>(320) * 3];
    EXPECT_GT(top[0], 200);
    EXPECT_LT(top[1], 60);
    EXPECT_LT(top[2], 60);
    const uint8_t* lower = &picture.rgb[(static_cast<size_t>(100) * 641 + 320) * 3];
    EXPECT_FALSE(lower[0] > 200 && lower[1] < 60 && lower[2] < 60);

    // Quality is clamped to 0..10 before it is scaled to libjpeg's 0..100.
    ASSERT_EQ(save_image(1, path.c_str(), FORMAT_JPEG, 15), 1);
    EXPECT_EQ(read_file(path), reference_jpeg(bits, pitch, 641, 481, 100));
    ASSERT_EQ(save_image(1, path.c_str(), FORMAT_JPEG, -3), 1);
    EXPECT_EQ(read_file(path), reference_jpeg(bits, pitch, 641, 481, 0));
    free_image(1);
}

TEST(SaveImage, EncoderTableRegistersJpegOnceAndRefusesA31stEncoder)
{
    init_once();
    init_image_plugins();
    for (int i = 0; i < 5; ++i) use_jpeg_encoder();
    EXPECT_EQ(image_encoder_count(), 1);
    for (int i = 1; i < MAX_IMAGE_ENCODERS; ++i) EXPECT_EQ(register_image_encoder(&TEST_ENCODER), 1);
    EXPECT_EQ(register_image_encoder(&TEST_ENCODER), 0);
    EXPECT_EQ(image_encoder_count(), MAX_IMAGE_ENCODERS);
    const ImageEncoder incomplete = {1, nullptr, nullptr};
    init_image_plugins();
    EXPECT_EQ(register_image_encoder(&incomplete), 0);
    EXPECT_EQ(image_encoder_count(), 0);
}

TEST(SaveImage, FailuresLeaveNoFileAndKeepTheOldOne)
{
    init_once();
    init_image_plugins();
    use_jpeg_encoder();
    register_image_encoder(&TEST_ENCODER);
    int32_t pitch = 0;
    make_view_image(&pitch);
    std::string subfolder = g_folder + "sub";
    CreateDirectoryA(subfolder.c_str(), nullptr);
    std::vector<std::string> before = folder_entries();

    EXPECT_EQ(save_image(1, "", FORMAT_JPEG), 0);
    EXPECT_EQ(save_image(1, nullptr, FORMAT_JPEG), 0);
    EXPECT_EQ(save_image(7, (g_folder + "none.jpg").c_str(), FORMAT_JPEG), 0);
    EXPECT_EQ(save_image(1, (g_folder + "format.x").c_str(), 1), 0);
    EXPECT_EQ(save_image(1, (g_folder + "missing\\x.jpg").c_str(), FORMAT_JPEG), 0);
    EXPECT_EQ(save_image(1, subfolder.c_str(), FORMAT_JPEG), 0);
    EXPECT_EQ(folder_entries(), before);

    // A save that fails half-way over an existing file keeps the old content.
    std::string old_path = g_folder + "old.bin";
    write_file(old_path, "old content");
    before = folder_entries();
    g_encoder_fails = true;
    EXPECT_EQ(save_image(1, old_path.c_str(), TEST_ENCODER.format), 0);
    g_encoder_fails = false;
    EXPECT_EQ(read_file(old_path), std::vector<uint8_t>({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'}));
    EXPECT_EQ(folder_entries(), before);
    // A fresh path that fails leaves nothing.
    g_encoder_fails = true;
    EXPECT_EQ(save_image(1, (g_folder + "fresh.bin").c_str(), TEST_ENCODER.format), 0);
    g_encoder_fails = false;
    EXPECT_EQ(folder_entries(), before);

    // A read-only file is not replaced, and stays as it was.
    SetFileAttributesA(old_path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(save_image(1, old_path.c_str(), FORMAT_JPEG), 0);
    SetFileAttributesA(old_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(read_file(old_path).size(), 11u);
    EXPECT_EQ(folder_entries(), before);

    // And a save that works replaces it.
    EXPECT_EQ(save_image(1, old_path.c_str(), FORMAT_JPEG), 1);
    EXPECT_GT(read_file(old_path).size(), 1000u);
    EXPECT_EQ(folder_entries(), before);
    free_image(1);
}

TEST(SaveImage, LibjpegErrorWhileWritingClosesAndFails)
{
    init_once();
    // A pipe whose reader goes away after the first bytes: libjpeg's writes
    // then fail in the middle of the picture.
    const char* name = "\\\\.\\pipe\\bitloupe-jpeg-test";
    HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::thread reader([pipe] {
        ConnectNamedPipe(pipe, nullptr);
        char buffer[100];
        DWORD got = 0;
        ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr);
        CloseHandle(pipe);
    });
    std::vector<uint8_t> pixels(static_cast<size_t>(row_pitch(641, 24)) * 481);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    EXPECT_EQ(encode_jpeg(name, pixels.data(), 641, 481, row_pitch(641, 24), ROWS_BOTTOM_UP, 7, 24), 0);
    reader.join();
}

TEST(SaveImage, ThirtyTwoBitPixelsAreCompositedOverWhiteForA24BitEncoder)
{
    init_once();
    init_image_plugins();
    register_image_encoder(&TEST_ENCODER);
    // Red with alpha 0, 255 and 128.
    const uint8_t pixels[12] = {0, 0, 255, 0, 0, 0, 255, 255, 0, 0, 255, 128};
    std::string path = g_folder + "composite.bin";
    ASSERT_EQ(save_pixels(path.c_str(), pixels, TEST_ENCODER.format, 3, 1, 12, 32, ROWS_BOTTOM_UP, 7, 24), 1);
    EXPECT_EQ(g_received, std::vector<uint8_t>({255, 255, 255, 0, 0, 255, 127, 127, 255}));
    DeleteFileA(path.c_str());
}

TEST(SaveImage, BmpWriterWritesHeadersAndRows)
{
    init_once();
    // 2 x 2 pixels, bottom-up, pitch 8: blue, green / red, white.
    const uint8_t pixels[16] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
    std::string path = g_folder + "small.bmp";
    ASSERT_EQ(save_pixels(path.c_str(), pixels, FORMAT_BMP, 2, 2, 8, 24, ROWS_BOTTOM_UP, 7, 24), 1);
    std::vector<uint8_t> bmp = read_file(path);
    ASSERT_EQ(bmp.size(), 54u + 16u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(bmp[10], 54);
    EXPECT_EQ(bmp[28], 24);
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.end()), std::vector<uint8_t>(pixels, pixels + 16));

    // Top-down rows are reversed, and a 32-bit file gets a zero fourth byte.
    ASSERT_EQ(write_bmp(path.c_str(), pixels, 8, 2, 2, 24, 0, 7, 32), 1);
    bmp = read_file(path);
    ASSERT_EQ(bmp.size(), 54u + 16u);
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.end()),
              std::vector<uint8_t>({0, 0, 255, 0, 255, 255, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0}));

    // Palette depths are not written, and no file is made for them.
    DeleteFileA(path.c_str());
    EXPECT_EQ(save_pixels(path.c_str(), pixels, FORMAT_BMP, 2, 2, 8, 24, ROWS_BOTTOM_UP, 7, 8), 0);
    EXPECT_FALSE(exists(path));
}
