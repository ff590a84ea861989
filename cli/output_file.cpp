// output_file.cpp: the buffering both systems' outputs share.
#include "output_file.h"

#include "system.h"

bool OutputFile::begin(const std::string& path, std::string& why, const std::string& input)
{
    // Refused on every system alike: the input is still being read while its
    // replacement is written, and the command was most likely mistyped.
    if (!input.empty() && input != "-" && path != "-" && same_file(input, path)) {
        why = "is the file being read: write to another file";
        return false;
    }
    return open_target(path, why);
}

bool OutputFile::flush()
{
    if (failure_.empty() && !buffer_.empty()) write_through(buffer_.data(), buffer_.size());
    buffer_.clear();
    return failure_.empty();
}

bool OutputFile::write(const void* data, size_t length)
{
    if (!open_ || !failure_.empty()) return false;
    fault_point();
    const auto* bytes = static_cast<const uint8_t*>(data);
    written_ += static_cast<int64_t>(length);
    // Large pieces go straight through, after what is buffered.
    if (length >= BUFFER_BYTES) return flush() && write_through(bytes, length);
    while (length > 0) {
        const size_t room = BUFFER_BYTES - buffer_.size();
        const size_t n = length < room ? length : room;
        buffer_.insert(buffer_.end(), bytes, bytes + n);
        bytes += n;
        length -= n;
        if (buffer_.size() == BUFFER_BYTES && !flush()) return false;
    }
    return true;
}
