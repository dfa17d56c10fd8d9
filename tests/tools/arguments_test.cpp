// Command-line pieces: output name patterns, frame ranges, option parsing, progress line.
#include <gtest/gtest.h>

#include <string>

#include "pictures/pictureformats.h"
#include "support/commandline.h"
#include "support/framerange.h"
#include "support/jsonwriter.h"
#include "support/outputnames.h"
#include "support/progress.h"
#include "support/toolerror.h"

namespace tsr::tools::test {
namespace {

TEST(OutputNames, PatternsAndRefusals) {
    struct Case {
        const char* text;
        bool perFrame;
        int index;
        const char* name;
    };
    const Case cases[] = {
        {"out.exr", false, 7, "out.exr"},           {"out_%04d.exr", true, 7, "out_0007.exr"},
        {"f%d.png", true, 123, "f123.png"},         {"%3d.raw", true, 5, "  5.raw"},
        {"100%%_%02d.tif", true, 3, "100%_03.tif"}, {"a%%b", false, 0, "a%b"},
        {"x_%02d.exr", true, 12345, "x_12345.exr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const OutputNames names(c.text);
        EXPECT_EQ(c.perFrame, names.PerFrame());
        EXPECT_EQ(c.name, names.Name(c.index));
    }
    // Anything that a printf-style formatter would read beyond one integer is refused.
    for (const char* bad : {"%s.exr", "%d_%d.exr", "%x.png", "%n", "%", "out%", "%123d", "%-4d", "%ld"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(OutputNames{bad}, ToolError);
    }
}

// The format table as FormatFor and its readers see it: --format names (and alias) win over the
// output name, extensions in any case, raw by default; RGBA-only formats are refused for decode.
TEST(PictureFormats, ChosenByNameOrExtensionWithTheirProperties) {
    struct Case {
        const char* option;
        const char* path;
        const char* name;
        const char* extension;
        bool joins, dpxFields, decoded;
    };
    const Case cases[] = {
        {"", "a.PNG", "png", "png", false, false, true},
        {"", "a.tif", "tiff", "tiff", false, false, true},
        {"", "a.Tiff", "tiff", "tiff", false, false, true},
        {"", "a.exr", "exr", "exr", false, false, false},
        {"", "a.dpx", "dpx", "dpx", false, true, false},
        {"", "a.bin", "raw", "raw", true, false, true},
        {"preview", "a.exr", "preview", "png", false, false, false},
        {"tif", "a.png", "tiff", "tiff", false, false, true},
        {"raw", "a.png", "raw", "raw", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.path);
        const PictureFormat format = FormatFor(c.option, c.path, true);
        EXPECT_STREQ(c.name, FormatName(format));
        EXPECT_STREQ(c.extension, PictureExtension(format));
        EXPECT_EQ(c.joins, JoinsFrames(format));
        EXPECT_EQ(c.dpxFields, TakesDpxFields(format));
        if (c.decoded)
            EXPECT_EQ(format, FormatFor(c.option, c.path, false));
        else
            EXPECT_THROW(FormatFor(c.option, c.path, false), ToolError);
    }
    EXPECT_THROW(FormatFor("bmp", "a.png", true), ToolError);
}

TEST(FrameRange, ParseAndClamp) {
    struct Case {
        const char* text;
        int count;
        int first, last;
    };
    const Case cases[] = {{"0-", 5, 0, 4},   {"3", 5, 3, 3},  {"1-2", 5, 1, 2},
                          {"2-99", 5, 2, 4}, {"4-", 5, 4, 4}, {"3-3", 5, 3, 3},
                          {"0-4", 5, 0, 4},  {"2-5", 5, 2, 4}}; // one frame; the last frame; one past it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const FrameRange range = FrameRange::Parse(c.text).Within(c.count);
        EXPECT_EQ(c.first, range.first);
        EXPECT_EQ(c.last, range.last);
    }
    for (const char* bad : {"", "-", "-3", "a", "3-1", "1-x", "1--2", "99999999999", "+1", " 1"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(FrameRange::Parse(bad), ToolError);
    }
    EXPECT_THROW(FrameRange::Parse("5").Within(5), ToolError); // past the last frame
}

// Strings in JSON: the two-character escapes, \u escapes for the other control characters (0x01
// and 0x1F are the first and last), everything from the space up as it is.
TEST(JsonWriter, StringEscapes) {
    const struct {
        std::string text, json;
    } cases[] = {{"a\"b\\c", "\"a\\\"b\\\\c\""},
                 {"\n\t", "\"\\n\\t\""},
                 {std::string("\x01\x1f"), "\"\\u0001\\u001f\""},
                 {" ~\x7f", "\" ~\x7f\""}};
    for (const auto& c : cases) {
        JsonWriter json;
        json.BeginObject();
        json.String("k", c.text);
        json.EndObject();
        EXPECT_NE(json.Text().find(": " + c.json + "\n"), std::string::npos) << json.Text();
    }
}

TEST(CommandLine, OptionsValuesAndOperands) {
    const std::vector<OptionDefinition> definitions = {
        {"output", true, 'o'}, {"scale", true, 0}, {"json", false, 0}, {"gains", true, 0}};
    const char* argv[] = {"in.tsr", "-o", "x.raw", "--scale=2", "--json", "--gains", "1.5,2", "--", "-odd"};
    const CommandLine args(9, argv, 0, definitions);
    EXPECT_EQ("x.raw", args.Value("output"));
    EXPECT_EQ(2, args.Integer("scale", 0, 0, 3));
    EXPECT_TRUE(args.Has("json"));
    EXPECT_EQ((std::vector<double>{1.5, 2.0}), args.NumberList("gains", 2));
    EXPECT_EQ((std::vector<std::string>{"in.tsr", "-odd"}), args.Operands());
    EXPECT_THROW(args.NumberList("gains", 3), ToolError);
    EXPECT_THROW(args.Integer("scale", 0, 0, 1), ToolError);

    struct Bad {
        std::vector<const char*> argv;
    };
    const Bad bad[] = {{{"--unknown"}}, {{"--scale"}}, {{"--json=1"}}, {{"-x"}}};
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.argv[0]);
        EXPECT_THROW(CommandLine(static_cast<int>(b.argv.size()), b.argv.data(), 0, definitions), ToolError);
    }
    const char* values[] = {"--scale", "2x", "--gains", "1,,2"};
    const CommandLine malformed(4, values, 0, definitions);
    EXPECT_THROW(malformed.Integer("scale", 0, 0, 3), ToolError);
    EXPECT_THROW(malformed.NumberList("gains", 0), ToolError);
}

TEST(Progress, LineFitsTheTerminal) {
    const std::string line = Progress::Line("convert", 5, 10, 2.0, 60);
    EXPECT_EQ(60u, line.size());
    EXPECT_NE(std::string::npos, line.find("5/10 frames, 2.5 frames/s"));
    EXPECT_NE(std::string::npos, line.find("[##"));
    // Too narrow for a bar: the counts alone.
    EXPECT_EQ("convert: 1/3 frames, 0.5 frames/s", Progress::Line("convert", 1, 3, 2.0, 20));
    // A stream's total is not known: the count alone, at any width.
    EXPECT_EQ("convert: 5 frames, 2.5 frames/s", Progress::Line("convert", 5, 0, 2.0, 60));
}

} // namespace
} // namespace tsr::tools::test
