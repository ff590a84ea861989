// command_find.cpp: find, the search of a file for a small picture given by
// example (engine/glyph_search.h), on every core.
//
// The file is cut into chunks of CHUNK_BYTES starts; each chunk is read with
// the bytes its last matches can reach after it, so a match lying across
// two chunks is found by the chunk that holds its first byte, and only
// there. Chunks are taken in file order, each by the next free thread, and
// their matches are listed in that order.
//
// A pattern that matches nearly everywhere (a blank one in a blank file)
// would list billions of places: at most --max-matches (default 100,000)
// are listed, the first in file order, and a message on standard error says
// that the list was cut short.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "commands.h"
#include "glyph_search.h"
#include "options.h"
#include "source_file.h"
#include "system.h"
#include "thread_group.h"

namespace {

constexpr int64_t CHUNK_BYTES = int64_t{4} << 20;
// The chunk buffers of all threads stay within this.
constexpr int64_t BUFFER_BUDGET = int64_t{40} << 20;
constexpr int64_t MAX_THREADS = 8;
constexpr int64_t PATTERN_FILE_LIMIT = int64_t{1} << 20;

std::string position_text(int64_t start_bit)
{
    return std::to_string(start_bit / 8) + "." + std::to_string(start_bit % 8);
}

// Reads the pattern file named after '@'. False (reported) if it cannot be read.
bool read_pattern_file(const std::string& path, std::string& text)
{
    SourceFile source;
    std::string why;
    if (!source.open(path, why)) {
        report(path, why);
        return false;
    }
    if (source.size() > PATTERN_FILE_LIMIT) {
        report(path, "too large for a pattern (" + counted(source.size(), "byte") + ")");
        return false;
    }
    text.resize(static_cast<size_t>(source.size()));
    if (source.size() > 0 && !source.read(0, source.size(), reinterpret_cast<uint8_t*>(text.data()), why)) {
        report(path, why);
        return false;
    }
    return true;
}

struct Found {
    std::vector<GlyphMatch> matches;  // the first of the file, in file order
    bool cut = false;                 // there were more
    bool failed = false;              // reported
};

Found search_file(const std::string& file, const GlyphSearch& search, size_t limit)
{
    Found result;
    SourceFile probe;
    std::string why;
    if (!probe.open(file, why)) {
        report(file, why);
        result.failed = true;
        return result;
    }
    const int64_t size = probe.size();
    const int64_t chunks = (size + CHUNK_BYTES - 1) / CHUNK_BYTES;
    const int64_t buffer_bytes = std::min(CHUNK_BYTES + search.reach(), size);
    const int64_t cores = std::max<int64_t>(std::thread::hardware_concurrency(), 1);
    const int64_t threads = std::clamp<int64_t>(
        std::min({cores, MAX_THREADS, chunks, BUFFER_BUDGET / std::max<int64_t>(buffer_bytes, 1)}), 1, MAX_THREADS);

    std::vector<std::vector<GlyphMatch>> per_chunk(static_cast<size_t>(chunks));
    std::vector<uint8_t> chunk_cut(static_cast<size_t>(chunks), 0);
    std::atomic<int64_t> next{0};
    std::atomic<size_t> total{0};  // matches found so far, and one for each chunk that had more
    std::atomic<bool> failed{false};
    std::mutex failure_lock;
    std::string failure;

    const auto work = [&] {
        SourceFile source;
        std::string problem;
        std::vector<uint8_t> buffer;
        if (!source.open(file, problem)) {
            const std::lock_guard<std::mutex> hold(failure_lock);
            failure = problem;
            failed = true;
            return;
        }
        buffer.resize(static_cast<size_t>(buffer_bytes));
        // Chunks are taken in order until enough matches are known: those
        // taken are always the first ones of the file.
        while (!failed && total <= limit) {
            const int64_t i = next++;
            if (i >= chunks) break;
            const int64_t first = i * CHUNK_BYTES;
            const int64_t end = std::min(first + CHUNK_BYTES, size);
            const int64_t stop = std::min(end + search.reach(), size);
            if (!source.read(first, stop - first, buffer.data(), problem)) {
                const std::lock_guard<std::mutex> hold(failure_lock);
                failure = problem;
                failed = true;
                return;
            }
            const bool cut = search.search(buffer.data(), stop - first, first, first, end, limit, per_chunk[i]);
            chunk_cut[i] = cut;
            total += per_chunk[i].size() + (cut ? 1 : 0);
        }
    };
    if (chunks > 0) arm_read_fault_report(file);
    run_on_threads(threads, work);
    if (failed) {
        report(file, failure);
        result.failed = true;
        return result;
    }
    for (int64_t i = 0; i < chunks && !result.cut; ++i) {
        for (const GlyphMatch& m : per_chunk[i]) {
            if (result.matches.size() == limit) {
                result.cut = true;
                break;
            }
            result.matches.push_back(m);
        }
        if (chunk_cut[i]) result.cut = true;
    }
    return result;
}

std::string json_listing(const std::vector<GlyphMatch>& matches)
{
    std::string text = "{\"matches\": [";
    for (size_t i = 0; i < matches.size(); ++i) {
        const GlyphMatch& m = matches[i];
        text += i ? ",\n  " : "\n  ";
        text += "{\"start\": \"" + position_text(m.start_bit) + "\", \"stride_bytes\": " +
                std::to_string(m.stride_bytes) + ", \"lsb\": " + (m.lsb ? "true" : "false") +
                ", \"inverted\": " + (m.inverted ? "true" : "false") + ", \"errors\": " + std::to_string(m.errors) +
                "}";
    }
    text += matches.empty() ? "]}\n" : "\n]}\n";
    return text;
}

// A line for each match, the export command that shows exactly the picture
// found, and where the viewer can show it (a whole byte, most significant bit
// first, a width it offers), its state.
std::string text_listing(const std::string& file, const GlyphPattern& pattern, const std::vector<GlyphMatch>& matches)
{
    std::string text;
    const std::string name = shell_word(file);
    for (const GlyphMatch& m : matches) {
        const std::string at = position_text(m.start_bit);
        const int64_t byte = m.start_bit / 8;
        text += "match at " + at + ": stride " + counted(m.stride_bytes, "byte") + ", " +
                (m.lsb ? "least" : "most") + " significant bit first" + (m.inverted ? ", inverted" : "");
        if (m.errors > 0) text += ", " + std::to_string(m.errors) + (m.errors == 1 ? " pixel differs" : " pixels differ");
        text += "\n  bitloupe-cli export " + name + " -o match-" + at + ".png --start " + at + " --width-bits " +
                std::to_string(pattern.width) + " --stride-bits " + std::to_string(int64_t{m.stride_bytes} * 8) +
                " --rows " + std::to_string(pattern.height) + (m.lsb ? " --lsb" : "") + (m.inverted ? " --invert" : "") +
                "\n";
        if (m.start_bit % 8 == 0 && !m.lsb && m.stride_bytes <= 80)
            text += "  viewer: sprsize " + std::to_string(m.stride_bytes) + ", disp " + std::to_string(byte) +
                    (m.inverted ? ", inverted" : "") + ": bitloupe-cli view " + name + " -o match-" +
                    std::to_string(byte) + "-view.png --width " + std::to_string(m.stride_bytes) + " --start " +
                    std::to_string(byte) + (m.inverted ? " --invert" : "") + "\n";
    }
    text += matches.empty() ? std::string("no match\n")
                            : std::to_string(matches.size()) + (matches.size() == 1 ? " match\n" : " matches\n");
    return text;
}

struct FindCommand {
    std::string file, glyph, stride, max_errors = "0", max_matches = "100000";
    bool json = false;
    int* result = nullptr;

    void add(CLI::App& app)
    {
        CLI::App* c = app.add_subcommand(
            "find", "Search FILE for a small picture given by example: at every bit, in both bit orders, "
                    "inverted or not, at one stride or at every stride from 1 to 80 bytes");
        c->add_option("FILE", file, "the file to search")->required();
        c->add_option("--glyph", glyph,
                      "the picture: rows of '#' (set) and '.' (unset) separated by '/' or line breaks, "
                      "or @FILE to read them from FILE")
            ->required();
        c->add_option("--stride", stride, "bytes from one row to the next (default: every stride from 1 to 80)");
        c->add_option("--max-errors", max_errors, "how many pixels may differ (default 0)");
        c->add_option("--max-matches", max_matches, "list at most this many, the first in the file (default 100000)");
        c->add_flag("--json", json, "one JSON object: {\"matches\": [{\"start\": \"BYTE.BIT\", ...}, ...]}");
        c->callback([this] { run(); });
    }

    void run()
    {
        std::string text = glyph;
        if (!glyph.empty() && glyph[0] == '@' && !read_pattern_file(glyph.substr(1), text)) {
            *result = EXIT_FAILED;
            return;
        }
        GlyphPattern pattern;
        std::string why;
        if (!parse_glyph_pattern(text, pattern, why)) throw Usage{"--glyph", why};
        const int32_t s = stride.empty() ? 0 : static_cast<int32_t>(number_option("--stride", stride, 1, GLYPH_MAX_STRIDE));
        const int32_t k = static_cast<int32_t>(number_option("--max-errors", max_errors, 0, int64_t{GLYPH_MAX_WIDTH} * GLYPH_MAX_HEIGHT));
        const int64_t limit = number_option("--max-matches", max_matches, 1, 10000000);
        const GlyphSearch search(pattern, s, k);
        if (s > 0 && s * 8 < pattern.width)
            throw Usage{"--stride", "a row of " + counted(pattern.width, "pixel") + " spans " +
                                        counted((pattern.width + 7) / 8, "byte") + ": the stride must be at least that"};
        // What remains to be wrong is the number of differing pixels.
        if (!search.valid(why)) throw Usage{"--max-errors", why};
        const Found found = search_file(file, search, static_cast<size_t>(limit));
        if (found.failed) {
            *result = EXIT_FAILED;
            return;
        }
        write_out(json ? json_listing(found.matches) : text_listing(file, pattern, found.matches));
        if (found.cut)
            report(file, "more than " + counted(static_cast<int64_t>(limit), "match", "matches") + ": " +
                             (limit == 1 ? "the first in the file is listed" : "the first " + std::to_string(limit) + " in the file are listed") +
                             " (--max-matches lists more)");
        *result = EXIT_DONE;
    }
};

}  // namespace

void add_find_command(CLI::App& app, int& result)
{
    static FindCommand command;
    command.result = &result;
    command.add(app);
}
