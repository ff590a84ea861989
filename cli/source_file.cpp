// source_file.cpp: the window logic both systems' SourceFile share.
#include "source_file.h"

const uint8_t* SourceFile::bytes(int64_t offset, int64_t count, std::string& why)
{
    if (offset < 0 || count < 0 || count > WINDOW_BYTES || offset > size_ - count) {
        why = "read outside the file";
        return nullptr;
    }
    if (!mappable_) {
        copied_.resize(static_cast<size_t>(count));
        return read_at(offset, count, copied_.data(), why) ? copied_.data() : nullptr;
    }
    if (window_ && offset >= window_offset_ && offset + count <= window_offset_ + window_length_)
        return window_ + (offset - window_offset_);
    unmap();
    // A window of WINDOW_BYTES from the aligned position at or before
    // `offset`, twice that when the bytes asked for straddle its end.
    const int64_t start = offset / alignment() * alignment();
    int64_t length = WINDOW_BYTES;
    if (offset + count > start + length) length *= 2;
    if (length > size_ - start) length = size_ - start;
    if (length == 0) return reinterpret_cast<const uint8_t*>("");
    const uint8_t* mapped = map(start, length, why);
    if (!mapped) return nullptr;
    window_ = mapped;
    window_offset_ = start;
    window_length_ = length;
    return window_ + (offset - start);
}

bool SourceFile::read(int64_t offset, int64_t count, uint8_t* into, std::string& why)
{
    if (offset < 0 || count < 0 || offset > size_ - count) {
        why = "read outside the file";
        return false;
    }
    return read_at(offset, count, into, why);
}
