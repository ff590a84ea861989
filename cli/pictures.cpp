// pictures.cpp: PNG through libpng, and the two netpbm formats. Output is
// the same bytes for the same picture on every system: no time or text
// chunks, fixed filters and compression.
#include "pictures.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <vector>

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool ends_with(const std::string& text, const char* end)
{
    const std::string e = end;
    return text.size() >= e.size() && text.compare(text.size() - e.size(), e.size(), e) == 0;
}

// What the libpng callbacks work with.
struct PngJob {
    OutputFile* out;               // where the bytes go: a file,
    std::vector<uint8_t>* memory;  //   or memory
    char message[200];  // libpng's error text
};

void png_write_data(png_structp png, png_bytep data, size_t length)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (!job->out)
        job->memory->insert(job->memory->end(), data, data + length);
    else if (!job->out->write(data, length))
        png_error(png, job->out->failure().c_str());  // the first failed write ends the picture
}

void png_flush_data(png_structp) {}

void png_failed(png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    snprintf(job->message, sizeof job->message, "%s", message ? message : "PNG encoder failed");
    png_longjmp(png, 1);
}

void png_warned(png_structp, png_const_charp) {}

// The libpng part, kept free of objects with destructors: an encoder error
// comes back here through longjmp.
bool encode_png(PngJob& job, png_uint_32 width, png_uint_32 height, int bit_depth, int colour_type,
                const RowSource& rows, uint8_t* row, bool& source_failed)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, png_failed, png_warned);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &job, png_write_data, png_flush_data);
    // libpng's own limit of a million rows is for reading untrusted files;
    // an export may be as tall as PNG allows.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, width, height, bit_depth, colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, bit_depth == 1 ? PNG_FILTER_NONE : PNG_ALL_FILTERS);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    for (png_uint_32 y = 0; y < height; ++y) {
        if (!rows(y, row)) {
            source_failed = true;
            png_destroy_write_struct(&png, &info);
            return false;
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool write_png(OutputFile* out, std::vector<uint8_t>* memory, int64_t width, int64_t height, int bit_depth, int colour_type, size_t row_bytes,
               const RowSource& rows, std::string& why)
{
    if (width < 1 || height < 1 || width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX) {
        why = "picture too large for PNG";
        return false;
    }
    std::vector<uint8_t> row(row_bytes);
    PngJob job{out, memory, {0}};
    bool source_failed = false;
    if (encode_png(job, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bit_depth, colour_type,
                   rows, row.data(), source_failed))
        return true;
    if (!source_failed) why = job.message[0] ? job.message : "PNG encoder failed";
    return false;
}

void write_header(OutputFile& out, const char* magic, int64_t width, int64_t height, bool with_maximum)
{
    std::string header = std::string(magic) + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
    if (with_maximum) header += "255\n";
    out.write(header.data(), header.size());
}

}  // namespace

PictureFormat picture_format(const std::string& path)
{
    if (path == "-") return PictureFormat::png;  // standard output: the lossless picture
    const std::string name = lower(path);
    if (ends_with(name, ".png")) return PictureFormat::png;
    if (ends_with(name, ".ppm")) return PictureFormat::ppm;
    if (ends_with(name, ".pbm")) return PictureFormat::pbm;
    return PictureFormat::unknown;
}

bool write_colour_picture(OutputFile& out, PictureFormat format, int64_t width, int64_t height,
                          const RowSource& rows, std::string& why)
{
    const size_t row_bytes = static_cast<size_t>(width) * 3;
    if (format == PictureFormat::png)
        return write_png(&out, nullptr, width, height, 8, PNG_COLOR_TYPE_RGB, row_bytes, rows, why);
    write_header(out, "P6", width, height, true);
    std::vector<uint8_t> row(row_bytes);
    for (int64_t y = 0; y < height; ++y) {
        if (!rows(y, row.data())) return false;
        if (!out.write(row.data(), row.size())) return why = out.failure(), false;
    }
    return true;
}

bool write_bit_picture(OutputFile& out, PictureFormat format, int64_t width, int64_t height,
                       const RowBlockSource& rows, std::string& why)
{
    const size_t row_bytes = static_cast<size_t>((width + 7) / 8);
    // Rows are made in blocks of about 1 MiB.
    const int64_t block_rows = static_cast<int64_t>(std::max<size_t>(1, (size_t{1} << 20) / row_bytes));
    std::vector<uint8_t> block;
    int64_t block_first = 0, block_count = 0;
    // Makes sure row y is in the block; false when the source failed.
    const bool complemented = format != PictureFormat::png;
    auto fetch = [&](int64_t y) -> bool {
        if (y >= block_first && y < block_first + block_count) return true;
        block_first = y;
        block_count = std::min(block_rows, height - y);
        block.resize(static_cast<size_t>(block_count) * row_bytes);
        return rows(block_first, block_count, complemented, block.data());
    };
    if (format == PictureFormat::png) {
        const RowSource by_row = [&](int64_t y, uint8_t* row) {
            if (!fetch(y)) return false;
            const uint8_t* from = block.data() + static_cast<size_t>(y - block_first) * row_bytes;
            std::copy(from, from + row_bytes, row);
            return true;
        };
        return write_png(&out, nullptr, width, height, 1, PNG_COLOR_TYPE_GRAY, row_bytes, by_row, why);
    }
    write_header(out, "P4", width, height, false);
    // The bits after the last pixel of a row stay 0.
    const uint8_t padding = static_cast<uint8_t>(width % 8 ? 0xFF00 >> (width % 8) : 0xFF);
    for (int64_t y = 0; y < height; y += block_count) {
        if (!fetch(y)) return false;
        uint8_t* bytes = block.data();
        const size_t size = block.size();
        if (padding != 0xFF)
            for (size_t i = row_bytes - 1; i < size; i += row_bytes) bytes[i] &= padding;
        if (!out.write(bytes, size)) return why = out.failure(), false;
    }
    return true;
}

bool encode_colour_png(int64_t width, int64_t height, const RowSource& rows, std::vector<uint8_t>& png,
                       std::string& why)
{
    png.clear();
    return write_png(nullptr, &png, width, height, 8, PNG_COLOR_TYPE_RGB, static_cast<size_t>(width) * 3, rows, why);
}

bool encode_bit_png(int64_t width, int64_t height, const RowSource& rows, std::vector<uint8_t>& png,
                    std::string& why)
{
    png.clear();
    return write_png(nullptr, &png, width, height, 1, PNG_COLOR_TYPE_GRAY, static_cast<size_t>((width + 7) / 8), rows,
                     why);
}
