// command_explore.cpp: `bitloupe-cli explore`, a page in the browser that
// shows a file's bits in any layout, served to this machine alone.
//
// The server (cpp-httplib) listens on 127.0.0.1 only. Every address holds
// a random token; a request without it, for another Host than the one
// served, or with another method than GET is answered 403 and nothing else.
// No request names a path, writes a file or runs a command: the page asks
// for pictures of the one file (1-bit PNG strips made by the engine, as
// export makes them) and for numbers. A fixed number of threads serve, the
// connections waiting beyond them are held in the system's queue, and a
// client that stops sending is dropped after a second (one that stops
// reading, after five).
// Connections beyond the serving threads and their waiting list wait in the
// system's queue of this length.
#define CPPHTTPLIB_LISTEN_BACKLOG 128
#include "httplib.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "command_files.h"
#include "messages.h"
#include "numbers.h"
#include "overview_map.h"
#include "scan_file.h"
#include "subcommands.h"
#include "system.h"

#include "explore_page.h"

namespace {

constexpr int SERVER_THREADS = 16;
constexpr size_t WAITING_LIMIT = 16;        // accepted connections waiting for a thread
constexpr int64_t STRIP_MAX_WIDTH = 4096;   // pixels
constexpr int64_t STRIP_MAX_ROWS = 4096;
constexpr size_t FIND_MAX_MATCHES = 200;   // listed by the search box
constexpr int64_t BYTES_MAX = int64_t{16} << 20;  // downloaded at once
constexpr int64_t MAP_MAX_REGIONS = 2000;  // listed beside the map

// A fixed pool whose waiting list is bounded: when it is full, the thread
// that accepts connections waits, and further connections wait in the
// system's queue, costing nothing here.
class BoundedPool : public httplib::TaskQueue {
public:
    BoundedPool()
    {
        for (int i = 0; i < SERVER_THREADS; ++i) threads_.emplace_back([this] { work(); });
    }
    void enqueue(std::function<void()> job) override
    {
        std::unique_lock<std::mutex> hold(lock_);
        room_.wait(hold, [this] { return jobs_.size() < WAITING_LIMIT || stopping_; });
        if (stopping_) return;
        jobs_.push_back(std::move(job));
        ready_.notify_one();
    }
    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        ready_.notify_all();
        room_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> hold(lock_);
                ready_.wait(hold, [this] { return !jobs_.empty() || stopping_; });
                if (stopping_ && jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                room_.notify_one();
            }
            job();
        }
    }
    std::mutex lock_;
    std::condition_variable ready_, room_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
};

std::string random_token()
{
    std::random_device device;
    std::string token;
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < 32; ++i) token += digits[device() % 16];
    return token;
}

// A query parameter as a number within low..high, or `otherwise` when absent.
bool query_number(const httplib::Request& request, const char* name, int64_t low, int64_t high, int64_t otherwise,
                  int64_t& value)
{
    if (!request.has_param(name)) return value = otherwise, true;
    return parse_number(request.get_param_value(name), value) && value >= low && value <= high;
}

bool query_flag(const httplib::Request& request, const char* name)
{
    return request.has_param(name) && request.get_param_value(name) == "1";
}

// The layout a strip asks for, as export would take it; false when a value
// is out of range.
bool strip_layout(const httplib::Request& request, BitLayout& layout)
{
    layout = BitLayout{};
    const std::string start = request.has_param("start") ? request.get_param_value("start") : "0";
    if (read_bit_position(start, layout.start_bit) != Parsed::value || layout.start_bit > POSITION_LIMIT) return false;
    layout.lsb = query_flag(request, "lsb");
    layout.vertical = query_flag(request, "vertical");
    layout.bottom_up = query_flag(request, "bottom_up");
    layout.invert = query_flag(request, "invert");
    if (request.has_param("tile")) {
        int64_t w = 0, h = 0;
        if (!parse_pair(request.get_param_value("tile"), w, h) || w < 1 || h < 1 || w > LAYOUT_MAX_TILE ||
            h > LAYOUT_MAX_TILE)
            return false;
        layout.tile_width = w;
        layout.tile_height = h;
        if (!query_number(request, "tiles", 1, STRIP_MAX_WIDTH / w, 16, layout.tiles_per_row)) return false;
        layout.width_bits = w * layout.tiles_per_row;
    } else if (!query_number(request, "width", 1, STRIP_MAX_WIDTH, 8, layout.width_bits)) {
        return false;
    }
    const int64_t cell_width = layout.tiles_per_row ? layout.tile_width : layout.width_bits;
    return query_number(request, "stride", 1, POSITION_LIMIT, default_stride(cell_width, layout.vertical),
                        layout.stride_bits) &&
           query_number(request, "rows", 1, STRIP_MAX_ROWS, 1, layout.rows) && layout_valid(layout);
}

struct Explorer {
    std::string file, token, host;
    SourceFile source;
    std::mutex reading;  // the source's read window is one

    // The overview and the scan's regions, made once, on a read of the file
    // of their own, when first asked for (a page that only looks at bits
    // never waits for them).
    std::mutex mapping;
    bool mapped = false;
    std::string map_failure;
    OverviewMap map;
    RegionList regions;
    bool make_map()
    {
        std::lock_guard<std::mutex> hold(mapping);
        if (mapped) return map_failure.empty();
        mapped = true;
        SourceFile own;
        if (!own.open(file, map_failure)) return false;
        map.block = overview_block_size(own.size());
        regions.limit = MAP_MAX_REGIONS;
        regions.order = RegionOrder::file;
        if (!scan_file(own, SCAN_MIN_BYTES, SCAN_DEFAULT_MIN_SCORE, &map, {}, regions, map_failure)) return false;
        return true;
    }

    // The strip's PNG: the engine's pixels for the layout, as export writes them.
    bool strip(const BitLayout& layout, std::vector<uint8_t>& png, std::string& why)
    {
        const int64_t row_bytes = packed_row_bytes(layout);
        std::vector<uint8_t> rows(static_cast<size_t>(row_bytes * layout.rows));
        {
            std::lock_guard<std::mutex> hold(reading);
            for (int64_t y = 0; y < layout.rows; ++y)
                for (int64_t piece = 0; piece < layout_pieces(layout); ++piece) {
                    const ByteSpan span = layout_piece_bytes(layout, y, piece);
                    const int64_t available = std::clamp<int64_t>(source.size() - span.first, 0, span.count);
                    const uint8_t* bytes = available > 0 ? source.bytes(span.first, available, why) : nullptr;
                    if (available > 0 && !bytes) return false;
                    decode_layout_piece(layout, y, piece, bytes, available, rows.data() + y * row_bytes);
                }
        }
        const RowSource row = [&](int64_t y, uint8_t* out) {
            std::copy_n(rows.data() + y * row_bytes, row_bytes, out);
            return true;
        };
        return encode_bit_png(layout.width_bits, layout.rows, row, png, why);
    }
};

void serve(httplib::Server& server, Explorer& explorer)
{
    server.new_task_queue = [] { return new BoundedPool(); };
    // A request from this machine arrives whole at once: a client that
    // stalls while sending holds its thread a second at most.
    server.set_read_timeout(1, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_timeout(1);
    server.set_keep_alive_max_count(100);
    server.set_payload_max_length(0);
    // The routes are regular expressions: the token is hex digits, a dot
    // is escaped.
    const std::string prefix = "/" + explorer.token + "/";
    server.set_pre_routing_handler([&explorer, prefix](const httplib::Request& request, httplib::Response& response) {
        const bool ours = request.method == "GET" && request.get_header_value("Host") == explorer.host &&
                          request.path.compare(0, prefix.size(), prefix) == 0;
        if (ours) return httplib::Server::HandlerResponse::Unhandled;
        response.status = 403;
        response.set_content("", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });
    server.Get(prefix, [](const httplib::Request&, httplib::Response& response) {
        response.set_content(EXPLORE_PAGE, "text/html; charset=utf-8");
    });
    server.Get(prefix + "info", [&explorer](const httplib::Request&, httplib::Response& response) {
        response.set_content("{\"size\": " + std::to_string(explorer.source.size()) + "}", "application/json");
    });
    server.Get(prefix + "byte", [&explorer](const httplib::Request& request, httplib::Response& response) {
        int64_t at = 0;
        if (!query_number(request, "at", 0, INT64_MAX, 0, at)) return void(response.status = 400);
        std::string text = "{\"at\": " + std::to_string(at) + ", \"value\": ";
        uint8_t value = 0;
        std::string why;
        std::lock_guard<std::mutex> hold(explorer.reading);
        const bool inside = at < explorer.source.size() && explorer.source.read(at, 1, &value, why);
        response.set_content(text + (inside ? std::to_string(value) : "null") + "}", "application/json");
    });
    server.Get(prefix + "bytes", [&explorer](const httplib::Request& request, httplib::Response& response) {
        // Bytes as cut writes them (those that exist), for a download.
        int64_t start = 0, count = 0;
        if (!query_number(request, "start", 0, INT64_MAX, 0, start) ||
            !query_number(request, "count", 1, BYTES_MAX, 1, count))
            return void(response.status = 400);
        std::string bytes;
        {
            std::lock_guard<std::mutex> hold(explorer.reading);
            const int64_t first = std::min(start, explorer.source.size());
            bytes.resize(static_cast<size_t>(std::min(count, explorer.source.size() - first)));
            std::string why;
            if (!bytes.empty() && !explorer.source.read(first, static_cast<int64_t>(bytes.size()),
                                                         reinterpret_cast<uint8_t*>(bytes.data()), why))
                return void(response.status = 500);
        }
        response.set_header("Content-Disposition", "attachment; filename=\"bytes-" + std::to_string(start) + ".bin\"");
        response.set_content(std::move(bytes), "application/octet-stream");
    });
    server.Get(prefix + "overview\\.png", [&explorer](const httplib::Request&, httplib::Response& response) {
        std::vector<uint8_t> png;
        std::string why;
        if (!explorer.make_map() ||
            !encode_colour_png(explorer.map.columns, explorer.map.rows, overview_rows(explorer.map), png, why)) {
            response.status = 500;
            return;
        }
        response.set_content(std::string(png.begin(), png.end()), "image/png");
    });
    server.Get(prefix + "regions", [&explorer](const httplib::Request&, httplib::Response& response) {
        if (!explorer.make_map()) return void(response.status = 500);
        const OverviewMap& map = explorer.map;
        std::string text = "{\"block\": " + std::to_string(map.block) + ", \"columns\": " + std::to_string(map.columns) +
                           ", \"rows\": " + std::to_string(map.rows) + ", \"regions\": [";
        for (size_t i = 0; i < explorer.regions.regions.size(); ++i) {
            const FoundRegion& r = explorer.regions.regions[i];
            text += std::string(i ? ", " : "") + "{\"start\": " + std::to_string(r.start) + ", \"end\": " +
                    std::to_string(r.end) + ", \"width_bits\": " + std::to_string(r.width_bits) +
                    ", \"score\": " + score_text(r.score) + "}";
        }
        response.set_content(text + "]}", "application/json");
    });
    server.Get(prefix + "find", [&explorer](const httplib::Request& request, httplib::Response& response) {
        // A glyph by example, as find takes it (every stride, no pixel
        // differing unless asked); the first matches in the file.
        GlyphPattern pattern;
        std::string why;
        int64_t errors = 0;
        if (!parse_glyph_pattern(request.get_param_value("glyph"), pattern, why) ||
            !query_number(request, "errors", 0, 8, 0, errors))
            return void(response.status = 400);
        const GlyphSearch search(pattern, 0, static_cast<int32_t>(errors));
        if (!search.valid(why)) return void(response.status = 400);
        std::string text = "{\"matches\": [";
        size_t listed = 0;
        const FoundMatches found = search_file(explorer.file, search, FIND_MAX_MATCHES, [&](const GlyphMatch& m) {
            text += std::string(listed++ ? ", " : "") + "{\"start\": \"" + std::to_string(m.start_bit / 8) + "." +
                    std::to_string(m.start_bit % 8) + "\", \"stride_bytes\": " + std::to_string(m.stride_bytes) +
                    ", \"lsb\": " + (m.lsb ? "true" : "false") + ", \"inverted\": " + (m.inverted ? "true" : "false") +
                    ", \"errors\": " + std::to_string(m.errors) + "}";
        }, false);
        if (found.failed) return void(response.status = 500);
        response.set_content(text + "], \"more\": " + (found.cut ? "true" : "false") + "}", "application/json");
    });
    server.Get(prefix + "strip\\.png", [&explorer](const httplib::Request& request, httplib::Response& response) {
        BitLayout layout;
        if (!strip_layout(request, layout)) return void(response.status = 400);
        std::vector<uint8_t> png;
        std::string why;
        if (!explorer.strip(layout, png, why)) {
            response.status = 500;
            response.set_content(why, "text/plain");
            return;
        }
        response.set_header("Cache-Control", "no-store");
        response.set_content(std::string(png.begin(), png.end()), "image/png");
    });
}

}  // namespace

void bind_explore(CLI::App& c, ExploreOptions& given)
{
    c.add_option("FILE", given.file, "the file to look at")->required();
    c.add_option("--port", given.port, "the port on 127.0.0.1 (default: one the system gives)");
    c.add_flag("--no-open", given.no_open, "print the address only; do not open the browser");
}

int run_explore(const ExploreSettings& settings)
{
    Explorer explorer;
    explorer.file = settings.file;
    if (!open_source(explorer.source, settings.file)) return EXIT_FAILED;
    explorer.token = random_token();
    httplib::Server server;
    serve(server, explorer);
    const int port = settings.port ? (server.bind_to_port("127.0.0.1", static_cast<int>(settings.port))
                                          ? static_cast<int>(settings.port)
                                          : -1)
                                   : server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        report("--port", settings.port ? std::to_string(settings.port) + " cannot be listened on"
                                       : "no port could be listened on");
        return EXIT_FAILED;
    }
    explorer.host = "127.0.0.1:" + std::to_string(port);
    const std::string address = "http://" + explorer.host + "/" + explorer.token + "/";
    write_out("explore: " + address + " (Ctrl-C ends it)\n");
    std::string why;
    if (!settings.no_open && !open_in_browser(address, why)) report("explore", "the browser did not open (" + why + "): open the address above");
    if (!server.listen_after_bind()) {
        report("explore", "the server stopped");
        return EXIT_FAILED;
    }
    return EXIT_DONE;
}
