// Each subcommand's options checked without the command-line library: what
// a typed text becomes, and which texts are refused, against which option.
#include <gtest/gtest.h>

#include <functional>

#include "settings.h"

// GCC 12 warns of an overlapping copy inside std::string's assignment of a
// short literal that cannot happen (its bug 105329); the warning is an error
// in this build.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

namespace {

// The option a check refuses, or "" when it takes the texts.
std::string refused(const std::function<void()>& check)
{
    try {
        check();
    } catch (const Usage& e) {
        return e.what;
    }
    return "";
}

TEST(Settings, ViewTakesItsNumbersOrAViewerTitle)
{
    ViewOptions given;
    given.file = "f.bin";
    given.output = "v.png";
    given.width = "0x10";
    given.start = "-16";
    given.zoom = "8";
    given.grid_size = "4x25";
    const ViewSettings typed = check_view(given);
    EXPECT_EQ(typed.view.sprsize, 16);
    EXPECT_EQ(typed.view.start_position, -16);
    EXPECT_EQ(typed.view.zoom, 8);
    EXPECT_EQ(typed.view.grid_x, 4);
    EXPECT_EQ(typed.view.grid_y, 25);

    given.state = "Bitloupe, sprsize:2, grid:8x16 disp:1024 zoom:2";
    const ViewSettings titled = check_view(given);
    EXPECT_EQ(titled.view.sprsize, 2);
    EXPECT_EQ(titled.view.start_position, 1024);
    EXPECT_EQ(titled.view.grid_y, 16);
    EXPECT_EQ(titled.view.zoom, 2);

    const auto with = [](std::function<void(ViewOptions&)> change) {
        ViewOptions o;
        o.file = "f.bin";
        o.output = "v.png";
        change(o);
        return refused([&] { check_view(o); });
    };
    EXPECT_EQ(with([](ViewOptions& o) { o.start = "-2"; }), "--start");  // before minus the width
    EXPECT_EQ(with([](ViewOptions& o) { o.zoom = "3"; }), "--zoom");
    EXPECT_EQ(with([](ViewOptions& o) { o.grid_size = "8,0"; }), "--grid-size Y");
    EXPECT_EQ(with([](ViewOptions& o) { o.output = "v.jpg"; }), "--output");
    EXPECT_EQ(with([](ViewOptions& o) { o.state = "Bitloupe, sprsize:1, grid:8x0 disp:0 zoom:1"; }), "--state");
    EXPECT_EQ(with([](ViewOptions& o) { o.state = "Bitloupe, sprsize:1, grid:8x8 disp:-2 zoom:1"; }), "--state");
}

TEST(Settings, ExportReadsBitStartsStridesAndRowsToTheEnd)
{
    ExportOptions given;
    given.output = "e.pbm";
    given.start = "3.5";
    given.width = "12";
    given.vertical = true;
    const ExportSettings settings = check_export(given);
    EXPECT_EQ(settings.layout.start_bit, 29);
    EXPECT_EQ(settings.layout.stride_bits, 96);  // a band of 8 rows of 12 bytes
    EXPECT_TRUE(settings.to_the_end);

    given.rows = "5";
    given.stride = "$20";
    EXPECT_EQ(check_export(given).layout.stride_bits, 32);
    EXPECT_FALSE(check_export(given).to_the_end);

    ExportOptions far = given;
    far.start = "1152921504606846976";  // a byte past the furthest bit
    EXPECT_EQ(refused([&] { check_export(far); }), "--start");
    far = given;
    far.rows = "2147483647";
    far.stride = "1152921504606846976";
    EXPECT_EQ(refused([&] { check_export(far); }), "--stride-bits");
    far = given;
    far.width = "0";
    EXPECT_EQ(refused([&] { check_export(far); }), "--width-bits");
}

TEST(Settings, CutOverviewScanAndGuessWidthRefuseWhatTheyCannotDo)
{
    EXPECT_EQ(refused([] { check_cut(CutOptions{"f", "o", "4.2", "8", false}); }), "--start");
    const CutSettings cut = check_cut(CutOptions{"f", "o", "-5", "0x10", true});
    EXPECT_EQ(cut.start, -5);
    EXPECT_EQ(cut.count, 16);

    EXPECT_EQ(refused([] { check_overview(OverviewOptions{"f", "", "", "", false}); }), "--output");
    EXPECT_EQ(refused([] { check_overview(OverviewOptions{"f", "-", "", "", true}); }), "--json");
    EXPECT_EQ(check_overview(OverviewOptions{"f", "", "", "0.5", true}).min_score, 0.5);

    ScanOptions scan;
    scan.order = "size";
    EXPECT_EQ(refused([&] { check_scan(scan); }), "--order");
    scan.order = "file";
    EXPECT_EQ(check_scan(scan).order, RegionOrder::file);
    scan.min_score = "1.5";
    EXPECT_EQ(refused([&] { check_scan(scan); }), "--min-score");

    GuessWidthOptions guess;
    guess.start = "2.7";
    EXPECT_EQ(check_guess_width(guess).start_bit, 23);
    guess.length = "0";
    EXPECT_EQ(refused([&] { check_guess_width(guess); }), "--length");
}

TEST(Settings, FindTakesThePatternNowOrFromItsFileLater)
{
    FindOptions given;
    given.glyph = "#..#/.##.";
    given.max_errors = "1";
    const FindSettings inline_pattern = check_find(given);
    EXPECT_EQ(inline_pattern.pattern.width, 4);
    EXPECT_EQ(inline_pattern.pattern.height, 2);
    EXPECT_TRUE(inline_pattern.pattern_file.empty());

    given.glyph = "@glyph.txt";
    FindSettings later = check_find(given);
    EXPECT_EQ(later.pattern_file, "glyph.txt");
    EXPECT_EQ(later.pattern.width, 0);
    take_pattern(later, "###\n#.#\n");
    EXPECT_EQ(later.pattern.height, 2);

    // A stride narrower than a row, more errors than pixels, no pattern.
    given.glyph = "#########";
    given.stride = "1";
    EXPECT_EQ(refused([&] { check_find(given); }), "--stride");
    given.glyph = "##/##";
    given.stride = "";
    given.max_errors = "4";
    EXPECT_EQ(refused([&] { check_find(given); }), "--max-errors");
    given.glyph = "";
    EXPECT_EQ(refused([&] { check_find(given); }), "--glyph");
}

}  // namespace
