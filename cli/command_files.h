// command_files.h: what every subcommand does with its input and its output:
// opened with the reason of a failure reported, the output replaced only
// when complete, and what was done told where it does not mix with the
// output itself.
#pragma once

#include <string>

#include "output_file.h"
#include "source_file.h"

// Opens `file` for reading and arms the report of a file that shrinks while
// it is read; on failure reports why and returns false.
bool open_source(SourceFile& source, const std::string& file);

// Begins the output `output` (refused when it is the input `input`); on
// failure reports why and returns false.
bool begin_output(OutputFile& out, const std::string& output, const std::string& input);

// Commits the output when it was `made`; otherwise reports `why` against the
// output, or against the input `unread` when reading it failed.
bool finish_output(OutputFile& out, const std::string& output, bool made, const std::string& why,
                   const std::string& unread = {});

// What was done, on standard output, or on standard error when the output
// itself went to a device or pipe such as standard output.
void tell(const OutputFile& out, const std::string& text);
