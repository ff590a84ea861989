// report.cpp: the scan report page.
#include "report.h"

#include <algorithm>
#include <cstdio>

#include "messages.h"
#include "layout.h"
#include "output_file.h"
#include "pictures.h"
#include "system.h"

namespace {

std::string base64(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t n = uint32_t(bytes[i]) << 16 | (i + 1 < bytes.size() ? uint32_t(bytes[i + 1]) << 8 : 0) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

// Text for the page: HTML's special characters escaped, and valid UTF-8
// whatever the bytes (a file name need not be UTF-8): a byte that begins no
// whole, shortest character is U+FFFD; control characters are U+FFFD too.
std::string escape(const std::string& text)
{
    std::string out;
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const uint8_t c = p[i];
        if (c < 0x80) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c < 0x20 || c == 0x7F ? "\xEF\xBF\xBD" : std::string(1, static_cast<char>(c));
            }
            ++i;
            continue;
        }
        // The length and the least value of a character led by c.
        const size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        uint32_t value = length == 4 ? c & 0x07u : length == 3 ? c & 0x0Fu : c & 0x1Fu;
        bool whole = length > 0 && i + length <= n;
        for (size_t k = 1; whole && k < length; ++k) {
            whole = (p[i + k] & 0xC0) == 0x80;
            value = value << 6 | (p[i + k] & 0x3Fu);
        }
        whole = whole && (length != 3 || (value >= 0x800 && (value < 0xD800 || value > 0xDFFF))) &&
                (length != 4 || (value >= 0x10000 && value <= 0x10FFFF));
        if (whole) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The rows of a region's picture: at most as many as export takes (the
// picture of a larger region shows its first rows).
int64_t region_rows(const FoundRegion& region)
{
    return std::clamp<int64_t>((region.end - region.start) * 8 / std::max<int32_t>(region.width_bits, 1), 1,
                               LAYOUT_MAX_ROWS);
}

// A path as the part of an address that names it: every byte but letters,
// digits, "-._~" and the slashes (and `keep`) written as %XX.
std::string address_part(const std::string& path, const std::string& keep = "")
{
    std::string out;
    for (const char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
            std::string("-._~").find(c) != std::string::npos || keep.find(c) != std::string::npos) {
            out += c;
        } else {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        }
    }
    return out;
}

std::vector<std::string> path_names(const std::string& full)
{
    std::vector<std::string> names;
    for (size_t at = 0; at <= full.size();) {
        const size_t slash = std::min(full.find('/', at), full.size());
        names.push_back(full.substr(at, slash - at));
        at = slash + 1;
    }
    return names;
}

bool same_name(const std::string& a, const std::string& b)
{
#ifdef _WIN32
    // Drive letters and names compare without case, as the system does.
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
#else
    return a == b;
#endif
}

// The address of the file `target` in a page written to `page`: relative to
// the page's folder, or a file URL when the two lie on different drives or
// shares.
std::string link_from(const std::string& page, const std::string& target)
{
    const std::string full_target = full_path(target);
    std::vector<std::string> from = path_names(full_path(page));
    const std::vector<std::string> to = path_names(full_target);
    from.pop_back();  // the page's own name
    size_t common = 0;
    while (common < from.size() && common + 1 < to.size() && same_name(from[common], to[common])) ++common;
    // The root: "" on POSIX, the drive ("C:") or "", "", server, share.
    const size_t root = full_target.compare(0, 2, "//") == 0 ? 4 : 1;
    if (common < root)
        return "file://" + std::string(full_target[0] == '/' ? "" : "/") + address_part(full_target, ":");
    std::string link;
    for (size_t i = common; i < from.size(); ++i) link += "../";
    for (size_t i = common; i < to.size(); ++i) link += address_part(to[i]) + (i + 1 < to.size() ? "/" : "");
    return link;
}

// The first rows of a region as a 1-bit PNG.
bool region_picture(SourceFile& source, const FoundRegion& region, std::vector<uint8_t>& png, std::string& why)
{
    BitLayout layout = region_layout(region);
    layout.rows = std::min(layout.rows, REPORT_MAX_ROWS);
    if (!layout_valid(layout)) {
        why = "a region beyond what a picture can show";
        return false;
    }
    bool read = true;
    const RowSource rows = [&](int64_t y, uint8_t* row) {
        const ByteSpan span = layout_row_bytes(layout, y);
        const int64_t available = std::clamp<int64_t>(source.size() - span.first, 0, span.count);
        const uint8_t* bytes = available > 0 ? source.bytes(span.first, available, why) : nullptr;
        if (available > 0 && !bytes) return read = false;
        decode_layout_row(layout, y, bytes, available, row);
        return true;
    };
    return encode_bit_png(layout.width_bits, layout.rows, rows, png, why) && read;
}

}  // namespace

BitLayout region_layout(const FoundRegion& region)
{
    BitLayout layout{};
    layout.start_bit = region.start * 8;
    layout.width_bits = std::max<int32_t>(region.width_bits, 1);
    layout.stride_bits = layout.width_bits;
    layout.rows = region_rows(region);
    return layout;
}

std::string export_name(const FoundRegion& region)
{
    return "region-" + std::to_string(region.start) + ".png";
}

std::string export_command(const std::string& file, const FoundRegion& region)
{
    const BitLayout layout = region_layout(region);
    return "bitloupe-cli export " + shell_word(file) + " -o " + export_name(region) + " --start " +
           std::to_string(layout.start_bit / 8) + " --width-bits " + std::to_string(layout.width_bits) + " --rows " +
           std::to_string(layout.rows);
}

bool region_view(const FoundRegion& region, ViewParameters& view)
{
    if (region.width_bits % 8 != 0 || region.width_bits / 8 < 1 || region.width_bits / 8 > 80) return false;
    view = ViewParameters{};
    view.sprsize = region.width_bits / 8;
    view.grid_x = view.grid_y = 8;
    view.multi_columns = true;
    view.start_position = region.start;
    const int64_t rows = (region.end - region.start + view.sprsize - 1) / view.sprsize;
    for (const int32_t zoom : {8, 2, 1}) {
        view.zoom = zoom;
        if (view_whole_rows(view) >= rows) break;
    }
    return true;
}

std::string viewer_words(const ViewParameters& view)
{
    return "sprsize " + std::to_string(view.sprsize) + ", disp " + std::to_string(view.start_position) + ", zoom " +
           std::to_string(view.zoom) + ", MultiColumns " + (view.multi_columns ? "on" : "off");
}

std::string view_command(const std::string& file, const ViewParameters& view)
{
    const std::string start = std::to_string(view.start_position);
    return "bitloupe-cli view " + shell_word(file) + " -o view-" + start + ".png --width " +
           std::to_string(view.sprsize) + " --start " + start + " --zoom " + std::to_string(view.zoom) +
           (view.multi_columns ? " --multi" : "");
}

std::string left_out_note(int64_t left_out)
{
    if (left_out == 0) return {};
    return std::to_string(left_out) + (left_out == 1 ? " weaker candidate" : " weaker candidates") +
           " left out; --min-score 0 shows " + (left_out == 1 ? "it" : "them");
}

bool write_scan_report(const std::string& output, const std::string& file, SourceFile& source,
                       const OverviewMap& map, const std::vector<FoundRegion>& regions,
                       const std::vector<std::string>& pictures, int64_t left_out,
                       std::string& why)
{
    std::vector<uint8_t> png;
    if (!encode_colour_png(map.columns, map.rows, overview_rows(map), png, why)) return false;
    const int64_t scale = std::max<int64_t>(1, std::min<int64_t>(4, 1024 / map.columns));

    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Bitloupe scan of " +
        escape(file) +
        "</title>\n<style>\nbody { font-family: sans-serif; margin: 1.5em; background: #f4f4f4; color: #222; }\n"
        "img { image-rendering: pixelated; image-rendering: crisp-edges; border: 1px solid #888; }\n"
        "table { border-collapse: collapse; margin: 1em 0; }\n"
        "td, th { border: 1px solid #bbb; padding: 4px 8px; text-align: left; vertical-align: top; }\n"
        "code { font-size: 90%; }\n.swatch { display: inline-block; width: 1em; height: 1em; "
        "border: 1px solid #555; vertical-align: middle; }\n</style></head><body>\n<h1>Bitloupe scan of " +
        escape(file) + "</h1>\n<p>" + counted(source.size(), "byte") + "; " + counted(static_cast<int64_t>(regions.size()), "region") + " of 1-bit graphics found" +
        (left_out ? " (" + escape(left_out_note(left_out)) + ")" : std::string()) + ".</p>\n<h2>Overview</h2>\n" +
        "<p>A pixel for every " + std::to_string(map.block) + " bytes, left to right, top to bottom.</p>\n" +
        "<img id=\"overview\" alt=\"overview of the file\" width=\"" + std::to_string(map.columns * scale) +
        "\" height=\"" + std::to_string(map.rows * scale) + "\" src=\"data:image/png;base64," + base64(png) +
        "\">\n<p>";
    for (const BlockClass c : BLOCK_CLASSES) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "%06X", class_colour(c));
        page += "<span class=\"swatch\" style=\"background: #" + std::string(colour) + "\"></span> " +
                class_name(c) + " &nbsp; ";
    }
    page += "</p>\n<h2>Regions</h2>\n";
    if (regions.empty()) page += "<p>No region of 1-bit graphics was found.</p>\n";
    else
        page += "<table>\n<tr><th>#</th><th>start</th><th>end</th><th>width (bits)</th><th>score</th>"
                "<th>first rows</th><th>to see it</th></tr>\n";
    for (size_t i = 0; i < regions.size(); ++i) {
        const FoundRegion& r = regions[i];
        if (!region_picture(source, r, png, why)) return false;
        const int64_t rows = std::min(region_rows(r), REPORT_MAX_ROWS);
        const int64_t zoom = std::max<int64_t>(1, std::min<int64_t>(4, 512 / std::max<int32_t>(r.width_bits, 1)));
        ViewParameters view{};
        const bool viewable = region_view(r, view);
        const std::string link = pictures[i].empty() ? std::string() : link_from(output, pictures[i]);
        std::string picture = "<img class=\"region\" alt=\"region " + std::to_string(i + 1) + "\" width=\"" +
                              std::to_string(r.width_bits * zoom) + "\" height=\"" + std::to_string(rows * zoom) +
                              "\" src=\"data:image/png;base64," + base64(png) + "\">";
        if (!link.empty()) picture = "<a href=\"" + link + "\">" + picture + "</a>";
        page += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + std::to_string(r.start) + "</td><td>" +
                std::to_string(r.end) + "</td><td>" + std::to_string(r.width_bits) + "</td><td>" + fixed(r.score, 3) +
                "</td><td>" + picture + "</td><td><code>" + escape(export_command(file, r)) + "</code>" +
                (link.empty() ? std::string()
                              : "<br>written: <a href=\"" + link + "\">" + escape(pictures[i]) + "</a>") +
                (viewable ? "<br>viewer: " + escape(viewer_words(view)) + "<br><code>" +
                                escape(view_command(file, view)) + "</code>"
                          : std::string()) +
                "</td></tr>\n";
    }
    if (!regions.empty()) page += "</table>\n";
    page += "</body></html>\n";

    OutputFile out;
    if (!out.begin(output, why, file)) return false;
    out.write(page.data(), page.size());
    return out.commit(why);
}
