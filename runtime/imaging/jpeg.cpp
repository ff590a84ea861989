// jpeg.cpp: the JPEG encoder, on libjpeg's compressor writing to a stdio file.
//
// libjpeg reports fatal errors through error_exit, which must not return; ours
// jumps back into encode_jpeg, which then cleans up and fails. Nothing between
// the setjmp and a possible longjmp owns a C++ object with a destructor.
#include "save.h"

#include <windows.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

#include "faults.h"
#include "heap.h"

namespace {

// libjpeg's error manager followed by the place to jump back to.
struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

[[noreturn]] void jump_back(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Warnings and traces are not printed: nothing is logged.
void stay_quiet(j_common_ptr)
{
}

// The compressed bytes go to the file through a buffer of our own; a write
// that fails (a full disk, a lost network share) is a libjpeg error.
constexpr size_t OUTPUT_BUFFER_SIZE = 4096;

struct FileDestination {
    jpeg_destination_mgr manager;
    FILE* file;
    JOCTET buffer[OUTPUT_BUFFER_SIZE];
};

FileDestination* destination_of(j_compress_ptr info)
{
    return reinterpret_cast<FileDestination*>(info->dest);
}

void write_out(j_compress_ptr info, size_t count)
{
    FileDestination* destination = destination_of(info);
    if (count == 0) return;
    if (fault_injected(Fault::jpeg_write) || std::fwrite(destination->buffer, 1, count, destination->file) != count)
        ERREXIT(info, JERR_FILE_WRITE);
}

void start_output(j_compress_ptr info)
{
    FileDestination* destination = destination_of(info);
    destination->manager.next_output_byte = destination->buffer;
    destination->manager.free_in_buffer = OUTPUT_BUFFER_SIZE;
}

boolean flush_output(j_compress_ptr info)
{
    write_out(info, OUTPUT_BUFFER_SIZE);
    start_output(info);
    return TRUE;
}

void finish_output(j_compress_ptr info)
{
    write_out(info, OUTPUT_BUFFER_SIZE - destination_of(info)->manager.free_in_buffer);
    if (std::fflush(destination_of(info)->file) != 0) ERREXIT(info, JERR_FILE_WRITE);
}

// Allocated from the compressor's permanent pool: destroying the compressor
// releases it.
void write_to_file(j_compress_ptr info, FILE* file)
{
    auto* destination = static_cast<FileDestination*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(FileDestination)));
    destination->manager.init_destination = start_output;
    destination->manager.empty_output_buffer = flush_output;
    destination->manager.term_destination = finish_output;
    destination->file = file;
    info->dest = &destination->manager;
}

}  // namespace

int32_t encode_jpeg(const char* path, const uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                    int32_t flags, int32_t quality, int32_t)
{
    if (!path || !pixels || width < 1 || height < 1 || pitch < width * 3) return 0;
    FILE* volatile file = fault_injected(Fault::create_file) ? nullptr : std::fopen(path, "wb");
    if (!file) return 0;

    // Zeroed first, so that destroying it is safe whatever point an error came from.
    jpeg_compress_struct info = {};
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jump_back;
    error.manager.output_message = stay_quiet;
    error.manager.trace_level = -1;
    uint8_t* volatile row = nullptr;

    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        heap_free(main_heap(), row);
        std::fclose(file);
        DeleteFileA(path);
        return 0;
    }

    jpeg_create_compress(&info);
    write_to_file(&info, file);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    int32_t scale = quality < 0 ? 0 : quality > 10 ? 10 : quality;
    jpeg_set_quality(&info, scale * 10, FALSE);
    jpeg_start_compress(&info, TRUE);

    row = static_cast<uint8_t*>(heap_alloc(main_heap(), static_cast<size_t>(pitch) + 4, false));
    if (!row) {
        jpeg_destroy_compress(&info);
        std::fclose(file);
        DeleteFileA(path);
        return 0;
    }

    bool bottom_up = (flags & ROWS_BOTTOM_UP) != 0;
    for (int32_t y = 0; y < height; ++y) {
        // The picture's top row first: with bottom-up rows that is the last one in memory.
        int32_t memory_row = bottom_up ? height - 1 - y : y;
        const uint8_t* from = pixels + static_cast<ptrdiff_t>(memory_row) * pitch;
        uint8_t* to = row;
        for (int32_t x = 0; x < width; ++x, from += 3, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }

    heap_free(main_heap(), row);
    row = nullptr;
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    bool closed = std::fclose(file) == 0;
    if (!closed) {
        // The last buffered bytes could not be written.
        DeleteFileA(path);
        return 0;
    }
    return 1;
}
