// report.cpp: the scan report page.
#include "report.h"

#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "layout.h"
#include "output_file.h"
#include "pictures.h"

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

std::string escape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
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

// The layout that shows a region: its rows one after another from its start.
BitLayout region_layout(const ReportRegion& region, int64_t rows)
{
    BitLayout layout{};
    layout.start_bit = region.start * 8;
    layout.width_bits = std::max<int32_t>(region.width_bits, 1);
    layout.stride_bits = layout.width_bits;
    layout.rows = std::max<int64_t>(rows, 1);
    return layout;
}

int64_t region_rows(const ReportRegion& region)
{
    return std::max<int64_t>(1, (region.end - region.start) * 8 / std::max<int32_t>(region.width_bits, 1));
}

// The first rows of a region as a 1-bit PNG.
bool region_picture(SourceFile& source, const ReportRegion& region, std::vector<uint8_t>& png, std::string& why)
{
    const BitLayout layout = region_layout(region, std::min(region_rows(region), REPORT_MAX_ROWS));
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

std::string export_command(const std::string& file, const ReportRegion& region)
{
    return "bitloupe-cli export " + shell_word(file) + " -o region-" + std::to_string(region.start) +
           ".png --start " + std::to_string(region.start) + " --width-bits " + std::to_string(region.width_bits) +
           " --rows " + std::to_string(region_rows(region));
}

std::string viewer_state(const ReportRegion& region)
{
    if (region.width_bits % 8 != 0 || region.width_bits / 8 < 1 || region.width_bits / 8 > 80) return {};
    return "--width " + std::to_string(region.width_bits / 8) + " --start " + std::to_string(region.start);
}

bool write_scan_report(const std::string& output, const std::string& file, SourceFile& source,
                       const OverviewMap& map, const std::vector<ReportRegion>& regions, std::string& why)
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
        escape(file) + "</h1>\n<p>" + std::to_string(source.size()) + " bytes; " + std::to_string(regions.size()) +
        (regions.size() == 1 ? " region" : " regions") + " of 1-bit graphics found.</p>\n<h2>Overview</h2>\n" +
        "<p>A pixel for every " + std::to_string(map.block) + " bytes, left to right, top to bottom.</p>\n" +
        "<img id=\"overview\" alt=\"overview of the file\" width=\"" + std::to_string(map.columns * scale) +
        "\" height=\"" + std::to_string(map.rows * scale) + "\" src=\"data:image/png;base64," + base64(png) +
        "\">\n<p>";
    const BlockClass legend[] = {BlockClass::graphics, BlockClass::text, BlockClass::dense, BlockClass::uniform,
                                 BlockClass::other};
    for (const BlockClass c : legend) {
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
        const ReportRegion& r = regions[i];
        if (!region_picture(source, r, png, why)) return false;
        const int64_t rows = std::min(region_rows(r), REPORT_MAX_ROWS);
        const int64_t zoom = std::max<int64_t>(1, std::min<int64_t>(4, 512 / std::max<int32_t>(r.width_bits, 1)));
        const std::string state = viewer_state(r);
        page += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + std::to_string(r.start) + "</td><td>" +
                std::to_string(r.end) + "</td><td>" + std::to_string(r.width_bits) + "</td><td>" + fixed(r.score, 3) +
                "</td><td><img class=\"region\" alt=\"region " + std::to_string(i + 1) + "\" width=\"" +
                std::to_string(r.width_bits * zoom) + "\" height=\"" + std::to_string(rows * zoom) +
                "\" src=\"data:image/png;base64," + base64(png) + "\"></td><td><code>" +
                escape(export_command(file, r)) + "</code>" +
                (state.empty() ? std::string() : "<br>viewer: <code>" + escape(state) + "</code>") + "</td></tr>\n";
    }
    if (!regions.empty()) page += "</table>\n";
    page += "</body></html>\n";

    OutputFile out;
    if (!out.begin(output, why)) return false;
    out.write(page.data(), page.size());
    return out.commit(why);
}
