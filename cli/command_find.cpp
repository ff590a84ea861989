// command_find.cpp: find, the search of a file for a small picture given by
// example (engine/glyph_search.h), on every core.
//
// The file is cut into chunks of CHUNK_BYTES starts; each chunk is read with
// the bytes its last matches can reach after it, so a match lying across
// two chunks is found by the chunk that holds its first byte, and only
// there. Chunks are taken in file order, each by the next free thread (the
// one chunked reader of the command line, cli/chunks.h), and their matches
// are listed in that order as soon as the chunks before are done.
//
// A pattern that matches nearly everywhere (a blank one in a blank file)
// would list billions of places: at most --max-matches (default 100,000)
// are listed, the first in file order, and a message on standard error says
// that the list was cut short.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "chunks.h"
#include "command_files.h"
#include "messages.h"
#include "glyph_search.h"
#include "subcommands.h"
#include "source_file.h"
#include "system.h"

namespace {

// Chunks of 1 MiB keep every core busy on files of a few MiB, where the
// search with pixels that may differ takes long enough to matter.
constexpr int64_t CHUNK_BYTES = int64_t{1} << 20;
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

// Whether two matches lie on the same bits: the same start and stride in
// either polarity, or in either bit order where the glyph is whole bytes
// from a byte's first bit (a glyph that reads the same mirrored).
bool same_place(const GlyphMatch& a, const GlyphMatch& b, int32_t width)
{
    return a.start_bit == b.start_bit && a.stride_bytes == b.stride_bytes &&
           (a.lsb == b.lsb || (a.start_bit % 8 == 0 && width % 8 == 0));
}

// The matches, to the listing in file order as they are confirmed: a chunk's
// matches wait only for the chunks before it, and a chunk that has found
// more than HELD waits itself until it is the first unlisted one, so that
// the matches held stay few whatever the file and --max-matches. A chunk
// searched to its end waits until it is listed, so that the chunks holding
// matches are no more than the threads. The chunk being listed never
// waits, so someone always goes on.
class MatchStream {
public:
    static constexpr size_t HELD = 16384;

    MatchStream(size_t limit, int32_t width, std::function<void(const GlyphMatch&)> list)
        : limit_(limit), width_(width), list_(std::move(list))
    {
    }

    // Chunk `chunk`'s next matches, in file order. False when no more are
    // wanted (the listing is full, or the reading stopped).
    bool deliver(int64_t chunk, const std::vector<GlyphMatch>& matches)
    {
        std::unique_lock<std::mutex> hold(lock_);
        if (chunk == head_) {
            emit(matches);
        } else {
            std::vector<GlyphMatch>& waiting = chunks_[chunk].matches;
            waiting.insert(waiting.end(), matches.begin(), matches.end());
            turn_.wait(hold, [&] { return stopped_ || cut_ || chunks_[chunk].matches.size() <= HELD; });
        }
        return !cut_ && !stopped_;
    }

    // Chunk `chunk` is searched to its end: returns once it is listed.
    void finish(int64_t chunk)
    {
        std::unique_lock<std::mutex> hold(lock_);
        chunks_[chunk].done = true;
        advance();
        turn_.wait(hold, [&] { return stopped_ || cut_ || head_ > chunk; });
    }

    // The reading ended early: nobody waits any more.
    void stop()
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopped_ = true;
        turn_.notify_all();
    }

    bool cut() const { return cut_; }  // there were more than the limit
    size_t listed() const { return listed_; }

private:
    struct Chunk {
        std::vector<GlyphMatch> matches;
        bool done = false;
    };

    // The limit counts places (same_place).
    void emit(const std::vector<GlyphMatch>& matches)
    {
        for (const GlyphMatch& m : matches) {
            const bool same_place = listed_ > 0 && ::same_place(m, last_, width_);
            if (!same_place) {
                if (listed_ == limit_) {
                    cut_ = true;
                    return;
                }
                ++listed_;
            }
            list_(m);
            last_ = m;
        }
    }

    // Lists what waits for the chunk now first, and moves past those done.
    void advance()
    {
        for (auto it = chunks_.find(head_); it != chunks_.end(); it = chunks_.find(head_)) {
            emit(it->second.matches);
            it->second.matches.clear();
            if (!it->second.done) break;
            chunks_.erase(it);
            ++head_;
        }
        turn_.notify_all();
    }

    const size_t limit_;
    const int32_t width_;
    const std::function<void(const GlyphMatch&)> list_;
    std::mutex lock_;
    std::condition_variable turn_;
    std::map<int64_t, Chunk> chunks_;  // the chunks after the head that have matches or are done
    int64_t head_ = 0;                 // the first chunk not wholly listed
    size_t listed_ = 0;  // places
    GlyphMatch last_{};
    std::atomic<bool> cut_{false};
    bool stopped_ = false;
};

// Searches the starts first .. end - 1 of a chunk's bytes, its matches to
// `stream` in file order, no more than HELD at a time: a part with more is
// searched again in halves (a single byte has at most 8 x 80 x 4 matches).
// False when no more are wanted.
bool search_part(const GlyphSearch& search, const uint8_t* bytes, int64_t count, int64_t base, int64_t first,
                 int64_t end, int64_t chunk, MatchStream& stream)
{
    {
        std::vector<GlyphMatch> found;  // let go before the halves are searched
        const bool more = search.search(bytes, count, base, first, end, MatchStream::HELD, found);
        if (!more || end - first == 1) return stream.deliver(chunk, found);
    }
    const int64_t middle = first + (end - first) / 2;
    return search_part(search, bytes, count, base, first, middle, chunk, stream) &&
           search_part(search, bytes, count, base, middle, end, chunk, stream);
}

// A place's matches: the same start and stride in more than one bit order or
// polarity (a glyph that reads the same mirrored) are one place.
std::string match_json(const std::vector<GlyphMatch>& place)
{
    const GlyphMatch& m = place.front();
    std::string text = "{\"start\": \"" + position_text(m.start_bit) + "\", \"stride_bytes\": " +
                       std::to_string(m.stride_bytes) + ", \"lsb\": " + (m.lsb ? "true" : "false") +
                       ", \"inverted\": " + (m.inverted ? "true" : "false") + ", \"errors\": " + std::to_string(m.errors);
    if (place.size() > 1) {
        text += ", \"also\": [";
        for (size_t i = 1; i < place.size(); ++i)
            text += std::string(i > 1 ? ", " : "") + "{\"lsb\": " + (place[i].lsb ? "true" : "false") +
                    ", \"inverted\": " + (place[i].inverted ? "true" : "false") + ", \"errors\": " +
                    std::to_string(place[i].errors) + "}";
        text += "]";
    }
    return text + "}";
}

std::string reading(const GlyphMatch& m)
{
    std::string text = std::string(m.lsb ? "least" : "most") + " significant bit first" + (m.inverted ? ", inverted" : "");
    if (m.errors > 0) text += ", " + std::to_string(m.errors) + (m.errors == 1 ? " pixel differs" : " pixels differ");
    return text;
}

// A match's lines: where it is, the export command that shows exactly the
// picture found, and where the viewer can show it (a whole byte, most
// significant bit first, a width it offers), its state.
std::string match_text(const std::string& name, const GlyphPattern& pattern, const std::vector<GlyphMatch>& place)
{
    const GlyphMatch& m = place.front();
    const std::string at = position_text(m.start_bit);
    const int64_t byte = m.start_bit / 8;
    std::string text = "match at " + at + ": stride " + counted(m.stride_bytes, "byte") + ", " + reading(m);
    for (size_t i = 1; i < place.size(); ++i) text += "; also " + reading(place[i]);
    text += "\n  bitloupe-cli export " + name + " -o match-" + at + ".png --start " + at + " --width-bits " +
            std::to_string(pattern.width) + " --stride-bits " + std::to_string(int64_t{m.stride_bytes} * 8) +
            " --rows " + std::to_string(pattern.height) + (m.lsb ? " --lsb" : "") + (m.inverted ? " --invert" : "") + "\n";
    if (m.start_bit % 8 == 0 && !m.lsb && m.stride_bytes <= 80)
        text += "  viewer: sprsize " + std::to_string(m.stride_bytes) + ", disp " + std::to_string(byte) +
                (m.inverted ? ", inverted" : "") + ": bitloupe-cli view " + name + " -o match-" + std::to_string(byte) +
                "-view.png --width " + std::to_string(m.stride_bytes) + " --start " + std::to_string(byte) +
                (m.inverted ? " --invert" : "") + "\n";
    return text;
}

}  // namespace

FoundMatches search_file(const std::string& file, const GlyphSearch& search, size_t limit,
                         const std::function<void(const GlyphMatch&)>& list, bool show_progress)
{
    FoundMatches result;
    SourceFile source;
    std::string why;
    if (!open_source(source, file)) {
        result.failed = true;
        return result;
    }
    const int64_t size = source.size();
    MatchStream stream(limit, search.width(), list);
    const ChunkWork work = [&](int64_t n, int64_t offset, const uint8_t* bytes, int64_t length) {
        const bool wanted = search_part(search, bytes, length, offset, offset, std::min(offset + CHUNK_BYTES, size), n, stream);
        stream.finish(n);
        return wanted;
    };
    const std::function<void(int64_t)> progress =
        show_progress ? progress_bar("searching", size) : std::function<void(int64_t)>{};
    // Each thread holds, besides its chunk, up to twice HELD matches waiting
    // to be listed, HELD more being found and the search's own tables; lists
    // that grow leave about as much again behind them.
    const int64_t held = int64_t{4 * MatchStream::HELD * sizeof(GlyphMatch)} + (int64_t{512} << 10);
    const bool read =
        for_each_chunk(source, CHUNK_BYTES, search.reach(), work, why, progress, [&] { stream.stop(); }, held);
    if (progress) clear_progress();
    if (!read) {
        report(file, why);
        result.failed = true;
    }
    result.cut = stream.cut();
    result.listed = stream.listed();
    return result;
}

void bind_find(CLI::App& c, FindOptions& given)
{
    c.add_option("FILE", given.file, "the file to search")->required();
    c.add_option("--glyph", given.glyph,
                 "the picture: rows of '#' (set) and '.' (unset) separated by '/' or line breaks, "
                 "or @FILE to read them from FILE")
        ->required();
    c.add_option("--stride", given.stride, "bytes from one row to the next (default: every stride from 1 to 80)");
    c.add_option("--max-errors", given.max_errors, "how many pixels may differ (default 0)");
    c.add_option("--max-matches", given.max_matches, "list at most this many, the first in the file (default 100000)");
    c.add_flag("--json", given.json, "one JSON object: {\"matches\": [{\"start\": \"BYTE.BIT\", ...}, ...]}");
}

int run_find(const FindSettings& settings)
{
    FindSettings checked = settings;
    if (!settings.pattern_file.empty()) {
        std::string text;
        if (!read_pattern_file(settings.pattern_file, text)) return EXIT_FAILED;
        take_pattern(checked, text);
    }
    const std::string& file = settings.file;
    const bool json = settings.json;
    const int64_t limit = settings.max_matches;
    const GlyphPattern& pattern = checked.pattern;
    const GlyphSearch search(pattern, settings.stride, settings.max_errors);
    // The listing goes out as the matches are confirmed, a piece at a time.
    std::string piece = json ? "{\"matches\": [" : "";
    size_t listed = 0;
    const std::string name = shell_word(file);
    // A place is listed once its next match is elsewhere (or there is none).
    std::vector<GlyphMatch> place;
    const auto flush = [&] {
        if (place.empty()) return;
        piece += json ? (listed ? ",\n  " : "\n  ") + match_json(place) : match_text(name, pattern, place);
        ++listed;
        place.clear();
        if (piece.size() >= (size_t{64} << 10)) write_out(piece), piece.clear();
    };
    const auto list = [&](const GlyphMatch& m) {
        if (!place.empty() && !same_place(place.front(), m, pattern.width)) flush();
        place.push_back(m);
    };
    const FoundMatches found = search_file(file, search, static_cast<size_t>(limit), list);
    flush();
    if (found.failed) {
        write_out(piece);
        return EXIT_FAILED;
    }
    if (json)
        piece += listed ? "\n]}\n" : "]}\n";
    else
        piece += listed == 0 ? std::string("no match\n") : counted(static_cast<int64_t>(listed), "match", "matches") + "\n";
    write_out(piece);
    if (found.cut)
        report(file, "more than " + counted(static_cast<int64_t>(limit), "match", "matches") + ": " +
                         (limit == 1 ? "the first in the file is listed" : "the first " + std::to_string(limit) + " in the file are listed") +
                         " (--max-matches lists more)");
    return EXIT_DONE;
}
