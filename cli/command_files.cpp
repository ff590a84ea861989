// command_files.cpp: opening the input and the output, and finishing the
// output.
#include "command_files.h"

#include "messages.h"
#include "system.h"

bool open_source(SourceFile& source, const std::string& file)
{
    std::string why;
    if (source.open(file, why)) {
        arm_read_fault_report(file);
        return true;
    }
    report(file, why);
    return false;
}

bool begin_output(OutputFile& out, const std::string& output, const std::string& input)
{
    std::string why;
    if (out.begin(output, why, input)) return true;
    report(output_name(output), why);
    return false;
}

bool finish_output(OutputFile& out, const std::string& output, bool made, const std::string& why,
                   const std::string& unread)
{
    if (!made) {
        report(unread.empty() ? output_name(output) : unread, why.empty() ? "not written" : why);
        return false;
    }
    std::string failure;
    if (out.commit(failure)) return true;
    report(output_name(output), failure);
    return false;
}

void tell(const OutputFile& out, const std::string& text)
{
    if (out.direct())
        write_error(text + "\n");
    else
        write_out(text + "\n");
}
