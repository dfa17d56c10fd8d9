// Clips as jobs: piped into standard input, summarised by `info`, converted past damaged frames
// with --keep-going, and split into frame ranges that together give the files of a whole run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>
#include <unistd.h>

#include "encoder/framefaults.h"
#include "toolfixture.h"
#include "tsr/media/clip.h"

namespace tsr::tools::test {

using namespace media;
namespace {

class ClipJobsTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        EncoderSettings settings;
        settings.log2SliceWidth = 1;
        m_frames = SceneFrames(5, 64, 48, settings);
        WriteClip("clip.tsr", m_frames);
        WriteClip("clip.mov", m_frames);
        std::vector<std::vector<uint8_t>> damaged = m_frames;
        ASSERT_TRUE(faults::SetVersion(damaged[1], 7));        // refused by the decoder
        ASSERT_TRUE(faults::SetSliceQScale(damaged[3], 2, 0)); // decoded, that slice skipped
        WriteClip("damaged.tsr", damaged);
    }

    void WriteClip(const std::string& name, const std::vector<std::vector<uint8_t>>& frames) {
        std::unique_ptr<ClipWriter> writer = CreateClipWriter(Path(name), ClipWriterSettings{});
        for (const std::vector<uint8_t>& frame : frames) writer->Append(frame);
        writer->Finish();
    }

    // Runs `arguments` with "@" replaced by `input` and "#" by the output `prefix`.
    ToolResult Run(std::vector<std::string> arguments, const std::string& input, const std::string& prefix,
                   const std::vector<uint8_t>* piped = nullptr) {
        for (std::string& word : arguments) {
            if (word == "@") word = input;
            const size_t mark = word.find('#');
            if (mark != std::string::npos) word = Path(prefix + word.substr(mark + 1));
        }
        return RunTool(arguments, {}, {}, piped);
    }

    std::vector<std::vector<uint8_t>> m_frames;
};

const std::vector<std::string> kEngine = {"--engine", "cpu", "--threads", "2"};

std::vector<std::string> With(std::vector<std::string> words, const std::vector<std::string>& more) {
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

// A clip piped into standard input gives what the same clip named as a file gives, for plain
// frames (read as a stream, skipped forward for a range) and QuickTime (read into memory).
TEST_F(ClipJobsTest, StandardInputGivesWhatTheFileGives) {
    const std::vector<std::vector<std::string>> commands = {
        {"info", "--json", "@"},
        {"decode", "-o", "#out", "@"},
        {"decode", "--frames", "2-3", "--scale", "1", "-o", "#out", "@"},
        With({"convert", "--format", "raw", "-o", "#out_%d", "--frames", "1-", "@"}, kEngine),
    };
    for (const char* clip : {"clip.tsr", "clip.mov"}) {
        const std::vector<uint8_t> bytes = ReadFile(Path(clip));
        for (const std::vector<std::string>& command : commands) {
            SCOPED_TRACE(std::string(clip) + " " + command[0] + " " + command[1]);
            const ToolResult named = Run(command, Path(clip), "file_");
            const ToolResult piped = Run(command, "-", "pipe_", &bytes);
            ASSERT_EQ(0, named.exitCode) << named.err;
            ASSERT_EQ(0, piped.exitCode) << piped.err;
            std::string out = named.out;
            for (size_t at; (at = out.find(Path(clip))) != std::string::npos;)
                out.replace(at, Path(clip).size(), kStandardInputName);
            EXPECT_EQ(out, piped.out);
            for (const std::string name : {"out", "out_1", "out_4"}) {
                ASSERT_EQ(FileExists(Path("file_" + name)), FileExists(Path("pipe_" + name))) << name;
                if (FileExists(Path("file_" + name))) {
                    EXPECT_TRUE(ReadFile(Path("file_" + name)) == ReadFile(Path("pipe_" + name))) << name;
                }
            }
        }
    }
}

// -o - sends what a named output would hold to standard output, for every command that writes,
// and never makes a file named "-" in the working folder; outputs that cannot be streamed are
// refused before anything is written.
TEST_F(ClipJobsTest, DashOutputIsStandardOutputForEveryCommand) {
    ASSERT_EQ(0,
              Run({"decode", "--frames", "0-1", "-o", "#decoded.raw", "@"}, Path("clip.mov"), "").exitCode);
    const std::vector<std::vector<std::string>> commands = {
        {"encode", "--scene", "-q", "--size", "64x48", "--count", "2", "-o", "#"},
        {"decode", "-q", "-o", "#", "@"},
        {"decode", "-q", "--frames", "2-3", "--scale", "1", "-o", "#", "@"},
        {"debayer", "-q", "--engine", "cpu", "-o", "#", Path("decoded.raw")},
        With({"convert", "-q", "--format", "raw", "-o", "#", "@"}, kEngine),
    };
    char* const previous = getcwd(nullptr, 0);
    ASSERT_EQ(0, chdir(m_folder.c_str())); // where a file named "-" would appear
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0] + " " + command[2]);
        const ToolResult named = Run(command, Path("clip.mov"), "named");
        std::vector<std::string> dashed = command;
        std::replace(dashed.begin(), dashed.end(), std::string("#"), std::string("-"));
        const ToolResult piped = Run(dashed, Path("clip.mov"), "");
        ASSERT_EQ(0, named.exitCode) << named.err;
        ASSERT_EQ(0, piped.exitCode) << piped.err;
        EXPECT_FALSE(piped.out.empty());
        EXPECT_TRUE(std::vector<uint8_t>(piped.out.begin(), piped.out.end()) == ReadFile(Path("named")));
        EXPECT_FALSE(FileExists("-"));
    }
    const std::vector<std::string> before = Files();
    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"decode", "--format", "png", "-o", "-", Path("clip.mov")},
          {"debayer", "--engine", "cpu", "--format", "exr", "-o", "-", Path("decoded.raw")},
          {"debayer", "--engine", "cpu", "--tuning", "20202", "-o", "-", Path("decoded.raw")},
          {"demo", "-q", "-"}}) {
        SCOPED_TRACE(refused[0] + " " + refused[2]);
        const ToolResult run = RunTool(refused);
        EXPECT_EQ(2, run.exitCode) << run.err;
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(before, Files());
    }
    EXPECT_EQ(0, chdir(previous));
    std::free(previous);
}

TEST_F(ClipJobsTest, StandardInputFaultsAreOneLine) {
    const std::vector<uint8_t> frames = ReadFile(Path("clip.tsr")), movie = ReadFile(Path("clip.mov"));
    struct Case {
        std::vector<uint8_t> input;
        std::vector<std::string> options;
        int exitCode;
        std::string says;
    };
    const Case cases[] = {
        {{}, {}, 1, "standard input is empty"},
        {std::vector<uint8_t>(300, 0x5A), {}, 1, "standard input is neither"},
        {std::vector<uint8_t>(frames.begin(), frames.end() - 10),
         {},
         1,
         "standard input: frame 4 is truncated"},
        {movie,
         {"--max-stdin-bytes", std::to_string(movie.size() - 1)},
         1,
         "more than " + std::to_string(movie.size() - 1) + " bytes (raise the limit with --max-stdin-bytes"},
        {frames, {"--frames", "5-"}, 2, "5 frames, so frame 5 does not exist"},
    };
    const std::vector<std::string> before = Files();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const ToolResult run =
            RunTool(With({"decode", "-o", Path("out.raw"), "-"}, c.options), {}, {}, &c.input);
        EXPECT_EQ(c.exitCode, run.exitCode);
        ASSERT_EQ(1u, run.ErrorLines().size()) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.says)) << run.err;
        EXPECT_EQ(before, Files());
    }
    // Within the limit exactly, the clip is read.
    const ToolResult exact =
        RunTool({"info", "--max-stdin-bytes", std::to_string(movie.size()), "-"}, {}, {}, &movie);
    EXPECT_EQ(0, exact.exitCode) << exact.err;

    // One picture name for a stream: one frame fills it; a second is refused, not written over it.
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"decode", "-o", Path("one.png"), "-"},
          With({"convert", "-o", Path("one.exr"), "-"}, kEngine)}) {
        SCOPED_TRACE(command[0]);
        const ToolResult single = RunTool(command, {}, {}, &m_frames[0]);
        EXPECT_EQ(0, single.exitCode) << single.err;
        const std::vector<uint8_t> first = ReadFile(command[2]);
        const ToolResult several = RunTool(command, {}, {}, &frames);
        EXPECT_EQ(1, several.exitCode);
        EXPECT_NE(std::string::npos, several.err.find("standard input holds more than one frame"))
            << several.err;
        EXPECT_TRUE(first == ReadFile(command[2]));
    }
}

TEST_F(ClipJobsTest, InfoSummarisesTheClipAndDetailsFramesOnRequest) {
    size_t total = 0;
    for (const std::vector<uint8_t>& frame : m_frames) total += frame.size();
    char mean[32];
    std::snprintf(mean, sizeof mean, "%.2f mean", 8.0 * static_cast<double>(total) / (64 * 48 * 5));

    const ToolResult clip = RunTool({"info", Path("clip.mov")});
    EXPECT_EQ(0, clip.exitCode) << clip.err;
    for (const std::string& expected :
         {std::string(": QuickTime clip, track type tsrn\n  frames: 5, 24 frames/s, 0.208 s\n"
                      "  size: 64 x 48 photosites, Bayer pattern 0 (R G / G B)\n  bits per photosite: "),
          std::string(mean), std::string("\n  format versions: 1\n  damaged frames: none\n")})
        EXPECT_NE(std::string::npos, clip.out.find(expected)) << expected << "\n" << clip.out;
    EXPECT_EQ(std::string::npos, clip.out.find("frame 0:")) << "no detail unless asked";

    const ToolResult damaged = RunTool({"info", Path("damaged.tsr")});
    EXPECT_EQ(1, damaged.exitCode);
    EXPECT_EQ(std::vector<std::string>{"tsrraw: 2 of 5 frames looked at are damaged"}, damaged.ErrorLines());
    EXPECT_NE(std::string::npos, damaged.out.find("damaged frames: 2: 1, 3 (damaged slices)\n"))
        << damaged.out;

    const ToolResult detail = RunTool({"info", "--frames", "3", Path("damaged.tsr")});
    EXPECT_EQ(1, detail.exitCode);
    EXPECT_NE(std::string::npos, detail.out.find("frames: 5 (3-3 shown)")) << detail.out;
    EXPECT_NE(std::string::npos, detail.out.find("frame 3: ")) << detail.out;
    EXPECT_NE(std::string::npos, detail.out.find("\n  damaged slices: 1 (skipped by the decoder"))
        << detail.out;
    EXPECT_EQ(std::string::npos, detail.out.find("frame 2: "));

    const ToolResult json = RunTool({"info", "--json", Path("damaged.tsr")});
    EXPECT_EQ(1, json.exitCode);
    for (const char* expected :
         {"\"summary\": {", "\"frameCount\": 5,", "\"width\": 64,", "\"height\": 48,",
          "\"damagedFrames\": [1, 3]", "\"refusedFrames\": [1]", "\"damaged\": 1", "\"index\": 4,"})
        EXPECT_NE(std::string::npos, json.out.find(expected)) << expected << "\n" << json.out;
    // What a scheduler asks for, looking at one frame only: the whole clip's count and rate.
    const ToolResult quick = RunTool({"info", "--json", "--frames", "0", Path("clip.mov")});
    for (const char* expected : {"\"frameCount\": 5,", "\"framesPerSecond\": 24,", "\"lastFrame\": 0,"})
        EXPECT_NE(std::string::npos, quick.out.find(expected)) << expected << "\n" << quick.out;
}

// Without --keep-going the damaged frame stops the job; with it, every other frame is written as a
// run over an intact clip writes it, the refused frame not at all, the partly decoded one as
// decoded, and the damaged frames are listed at the end with exit status 3.
TEST_F(ClipJobsTest, KeepGoingWritesEveryOtherFrameAndListsTheDamagedOnes) {
    struct Case {
        const char* name;
        std::vector<std::string> command;
        bool joined; // one file of frames back to back
        size_t frameBytes;
    };
    const size_t decoded = 116 + 64 * 48 * 2, rgba = 64 * 48 * 8;
    const Case cases[] = {
        {"decode", {"decode", "-o", "#f%d", "@"}, false, decoded},
        {"decode joined", {"decode", "-o", "#all", "@"}, true, decoded},
        {"convert overlapped", With({"convert", "--format", "raw", "-o", "#f%d", "@"}, kEngine), false, rgba},
        {"convert one by one",
         With({"convert", "--no-overlap", "--format", "raw", "-o", "#all", "@"}, kEngine), true, rgba},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string command = c.command[0];
        ASSERT_EQ(0, Run(c.command, Path("clip.tsr"), "intact_").exitCode);
        const ToolResult stopped = Run(c.command, Path("damaged.tsr"), "stopped_");
        EXPECT_EQ(1, stopped.exitCode);
        EXPECT_EQ(std::vector<std::string>{"tsrraw " + command + ": frame 1: invalid frame (-2)"},
                  stopped.ErrorLines());

        const ToolResult kept = Run(With(c.command, {"--keep-going"}), Path("damaged.tsr"), "kept_");
        EXPECT_EQ(3, kept.exitCode);
        EXPECT_EQ(
            (std::vector<std::string>{
                "tsrraw " + command + ": 2 damaged frames:", "  frame 1: invalid frame (-2), nothing written",
                "  frame 3: 1 of 6 slices are damaged, written with their areas black"}),
            kept.ErrorLines());
        std::vector<std::vector<uint8_t>> intact, written;
        if (c.joined) {
            const std::vector<uint8_t> all = ReadFile(Path("intact_all")), some = ReadFile(Path("kept_all"));
            ASSERT_EQ(5 * c.frameBytes, all.size());
            ASSERT_EQ(4 * c.frameBytes, some.size());
            for (size_t i = 0; i < 5; ++i)
                intact.emplace_back(all.begin() + i * c.frameBytes, all.begin() + (i + 1) * c.frameBytes);
            for (size_t i = 0; i < 4; ++i)
                written.emplace_back(some.begin() + i * c.frameBytes, some.begin() + (i + 1) * c.frameBytes);
            written.insert(written.begin() + 1, std::vector<uint8_t>());
        } else {
            for (int i = 0; i < 5; ++i) {
                intact.push_back(ReadFile(Path("intact_f" + std::to_string(i))));
                const std::string kept = Path("kept_f" + std::to_string(i));
                written.push_back(FileExists(kept) ? ReadFile(kept) : std::vector<uint8_t>());
            }
        }
        EXPECT_TRUE(written[0] == intact[0] && written[2] == intact[2] && written[4] == intact[4]);
        EXPECT_TRUE(written[1].empty()) << "nothing for the refused frame";
        EXPECT_EQ(c.frameBytes, written[3].size());
        EXPECT_FALSE(written[3] == intact[3]) << "the skipped slice is black";
        if (c.joined) {
            // A job that fails later, here on a full disk, still lists the frames it went past.
            rlimit saved{};
            ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
            rlimit small = saved;
            small.rlim_cur = c.frameBytes * 3 / 2; // frame 0 fits; frame 2, the next written, does not
            ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
            const ToolResult full = Run(With(c.command, {"--keep-going"}), Path("damaged.tsr"), "full_");
            ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &saved));
            EXPECT_EQ(1, full.exitCode);
            const std::vector<std::string> lines = full.ErrorLines();
            ASSERT_EQ(3u, lines.size()) << full.err;
            EXPECT_EQ("tsrraw " + command + ": 1 damaged frame:", lines[0]);
            EXPECT_EQ("  frame 1: invalid frame (-2), nothing written", lines[1]);
            EXPECT_NE(std::string::npos, lines[2].find("File too large")) << lines[2];
        }
        for (const std::string& name : Files())
            if (name.rfind("intact_", 0) == 0 || name.rfind("kept_", 0) == 0 ||
                name.rfind("stopped_", 0) == 0 || name.rfind("full_", 0) == 0)
                std::remove(Path(name).c_str());
    }
}

// A clip cut short ends with a damaged frame: without --keep-going the clip is refused as before;
// with it, and in `info`, the frames before the cut are intact, from a file or from a pipe.
TEST_F(ClipJobsTest, ACutShortClipEndsWithADamagedFrame) {
    std::vector<uint8_t> cut = ReadFile(Path("clip.tsr"));
    cut.resize(cut.size() - 10);
    WriteFile(Path("cut.tsr"), cut);
    for (const bool piped : {false, true}) {
        SCOPED_TRACE(piped ? "piped" : "file");
        const std::string input = piped ? "-" : Path("cut.tsr"),
                          name = piped ? kStandardInputName : Path("cut.tsr");
        const std::vector<uint8_t>* bytes = piped ? &cut : nullptr;
        const ToolResult refused = RunTool({"decode", "-o", Path("out_%d.raw"), input}, {}, {}, bytes);
        EXPECT_EQ(1, refused.exitCode);
        EXPECT_NE(std::string::npos, refused.err.find(name + ": frame 4 is truncated (needs")) << refused.err;

        const ToolResult kept = RunTool(
            With({"convert", "--keep-going", "--format", "raw", "-o", Path("out_%d.raw"), input}, kEngine),
            {}, {}, bytes);
        EXPECT_EQ(3, kept.exitCode);
        ASSERT_EQ(2u, kept.ErrorLines().size()) << kept.err;
        EXPECT_EQ(0u, kept.ErrorLines()[1].find("  " + name + ": frame 4 is truncated (needs")) << kept.err;
        EXPECT_TRUE(FileExists(Path("out_3.raw")));
        EXPECT_FALSE(FileExists(Path("out_4.raw")));

        const ToolResult info = RunTool({"info", "--all", input}, {}, {}, bytes);
        EXPECT_EQ(1, info.exitCode);
        EXPECT_NE(std::string::npos, info.out.find("frames: 5\n")) << info.out;
        EXPECT_NE(std::string::npos, info.out.find("damaged frames: 1: 4\n")) << info.out;
        EXPECT_NE(std::string::npos, info.out.find("frame 4: 0 bytes, invalid frame (-2)\n  " + name +
                                                   ": frame 4 is truncated (needs"))
            << info.out;
        EXPECT_NE(std::string::npos, info.out.find("\n  no readable frame header\n")) << info.out;
    }
}

// With every frame refused, --keep-going still ends as it says: the frames listed, status 3, and
// a joined raw output that holds no frame, not a failure to find its temporary file.
TEST_F(ClipJobsTest, KeepGoingPastEveryFrameLeavesAnEmptyJoinedFile) {
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"decode"}, With({"convert", "--format", "raw"}, kEngine)}) {
        SCOPED_TRACE(command[0]);
        const ToolResult run =
            Run(With(command, {"--keep-going", "--max-pixels", "100", "-o", "#all.raw", "@"}),
                Path("clip.tsr"), command[0]);
        EXPECT_EQ(3, run.exitCode) << run.err;
        ASSERT_EQ(6u, run.ErrorLines().size()) << run.err;
        EXPECT_EQ("  frame 4: a 64x48 picture has more than 100 pixels (raise the limit with --max-pixels), "
                  "nothing written",
                  run.ErrorLines()[5]);
        EXPECT_TRUE(FileExists(Path(command[0] + "all.raw")));
        EXPECT_TRUE(ReadFile(Path(command[0] + "all.raw")).empty());
    }
}

// A broken frame header no longer ends a plain clip: the bytes up to the next plausible frame are
// one damaged frame, and with --keep-going the frames after it are written as from the intact clip.
TEST_F(ClipJobsTest, KeepGoingRecoversTheFramesAfterABrokenFrameHeader) {
    const std::vector<std::string> command = With({"convert", "--format", "raw", "-o", "#f%d", "@"}, kEngine);
    ASSERT_EQ(0, Run(command, Path("clip.tsr"), "intact_").exitCode);
    const struct {
        const char* name;
        void (*breakHeader)(std::vector<uint8_t>&);
    } cases[] = {
        {"size zero", [](std::vector<uint8_t>& f) { f[0] = f[1] = f[2] = f[3] = 0; }},
        {"size beyond the file", [](std::vector<uint8_t>& f) { f[0] = 0x40; }},
        {"magic", [](std::vector<uint8_t>& f) { f[5] = 'X'; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<uint8_t>> frames = m_frames;
        c.breakHeader(frames[2]);
        WriteClip("broken.tsr", frames);
        const ToolResult kept = Run(With(command, {"--keep-going"}), Path("broken.tsr"), "kept_");
        EXPECT_EQ(3, kept.exitCode) << kept.err;
        const std::vector<std::string> lines = kept.ErrorLines();
        ASSERT_EQ(2u, lines.size()) << kept.err;
        EXPECT_NE(std::string::npos, lines[1].find("frame 2 ")) << lines[1];
        EXPECT_NE(std::string::npos, lines[1].find("goes on at the next frame")) << lines[1];
        for (int i : {0, 1, 3, 4})
            EXPECT_TRUE(ReadFile(Path("kept_f" + std::to_string(i))) ==
                        ReadFile(Path("intact_f" + std::to_string(i))))
                << "frame " << i;
        EXPECT_FALSE(FileExists(Path("kept_f2")));
        for (int i = 0; i < 5; ++i) std::remove(Path("kept_f" + std::to_string(i)).c_str());
    }
}

// A clip split into frame ranges, each run on its own (as on several machines), gives exactly the
// files of one whole run: the same names, by the clip's frame index, and the same bytes. Joined
// raw outputs hold only their range's frames, so the parts put together in order are the whole.
TEST_F(ClipJobsTest, RangesTogetherGiveTheWholeRunByteForByte) {
    const std::vector<std::vector<std::string>> commands = {
        With({"convert", "-o", "#f%02d.exr", "@"}, kEngine),
        {"decode", "--scale", "1", "-o", "#f%d.png", "@"},
        {"decode", "-o", "#all.raw", "@"},
        With({"convert", "--format", "raw", "-o", "#all.rgba", "@"}, kEngine),
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0] + " " + command[command.size() - 2]);
        ASSERT_EQ(0, Run(command, Path("clip.mov"), "whole_").exitCode);
        ASSERT_EQ(0, Run(With(command, {"--frames", "0-2"}), Path("clip.mov"), "a_").exitCode);
        ASSERT_EQ(0, Run(With(command, {"--frames", "3-"}), Path("clip.mov"), "b_").exitCode);
        std::vector<std::string> whole, parts;
        for (const std::string& name : Files()) {
            if (name.rfind("whole_", 0) == 0) whole.push_back(name.substr(6));
            if (name.rfind("a_", 0) == 0 || name.rfind("b_", 0) == 0) parts.push_back(name.substr(2));
        }
        std::sort(parts.begin(), parts.end());
        if (whole.size() == 1) { // joined: the parts back to back
            std::vector<uint8_t> joined = ReadFile(Path("a_" + whole[0]));
            const std::vector<uint8_t> second = ReadFile(Path("b_" + whole[0]));
            joined.insert(joined.end(), second.begin(), second.end());
            EXPECT_TRUE(joined == ReadFile(Path("whole_" + whole[0])));
        } else {
            EXPECT_EQ(5u, whole.size());
            EXPECT_EQ(whole, parts);
            for (const std::string& name : whole) {
                const std::string part = FileExists(Path("a_" + name)) ? "a_" + name : "b_" + name;
                EXPECT_TRUE(ReadFile(Path(part)) == ReadFile(Path("whole_" + name))) << name;
            }
        }
        for (const std::string& name : Files())
            if (name.rfind("whole_", 0) == 0 || name.rfind("a_", 0) == 0 || name.rfind("b_", 0) == 0)
                std::remove(Path(name).c_str());
    }
}

} // namespace
} // namespace tsr::tools::test
