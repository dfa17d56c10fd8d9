// Wrong arguments, bad and truncated files, a broken frame inside a clip, and a machine without
// OpenCL: every failure is one line on standard error and a non-zero exit, never a crash, and
// never leaves an output that looks complete (nor a temporary file).
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "encoder/framefaults.h"
#include "pictures/imagefiles.h"
#include "toolfixture.h"
#include "tsr/media/interruptcleanup.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools::test {

using namespace media;
namespace {

class ErrorsTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        EncoderSettings settings;
        m_frames = SceneFrames(3, 32, 16, settings);
        WriteFile(Path("clip.tsr"), Concatenate(m_frames));
        ASSERT_EQ(0, RunTool({"encode", "--scene", "--size", "32x16", "--count", "3", "-o", Path("clip.mov")})
                         .exitCode);
        ASSERT_EQ(0, RunTool({"decode", "-o", Path("decoded.raw"), Path("clip.tsr")}).exitCode);
        const std::vector<uint8_t> all = ReadFile(Path("clip.tsr"));
        WriteFile(Path("truncated.tsr"), std::vector<uint8_t>(all.begin(), all.end() - 10));
        const std::vector<uint8_t> movie = ReadFile(Path("clip.mov"));
        WriteFile(Path("truncated.mov"),
                  std::vector<uint8_t>(movie.begin(), movie.begin() + movie.size() / 2));
        std::vector<uint8_t> otherTrack = movie; // the sample description names another type
        const std::string tag = "tsrn";
        const auto found = std::search(otherTrack.begin(), otherTrack.end(), tag.begin(), tag.end());
        ASSERT_NE(otherTrack.end(), found);
        std::copy_n("xyzw", 4, found);
        WriteFile(Path("othertrack.mov"), otherTrack);
        const std::vector<uint8_t> decoded = ReadFile(Path("decoded.raw"));
        WriteFile(Path("truncated.raw"), std::vector<uint8_t>(decoded.begin(), decoded.end() - 1));
        std::vector<std::vector<uint8_t>> broken = m_frames;
        ASSERT_TRUE(faults::SetVersion(broken[1], 7));
        WriteFile(Path("broken.tsr"), Concatenate(broken));
        WriteFile(Path("garbage.bin"), std::vector<uint8_t>(300, 0x5A));
        const std::vector<uint16_t> grey(33 * 20, 1000);
        WritePng(Path("odd.png"), 33, 20, 1, grey.data(), 33);
        ASSERT_EQ(0, mkdir(Path("no-opencl").c_str(), 0700));
        m_inputs = Files();
    }

    std::vector<std::vector<uint8_t>> m_frames;
    std::vector<std::string> m_inputs;
};

TEST_F(ErrorsTest, OneLineNonZeroExitNoOutput) {
    const std::string out = Path("out.raw"), exr = Path("out.exr");
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string says; // part of the message
        bool withoutOpenCL;
    };
    const Case cases[] = {
        {{}, 2, "no command", false},
        {{"frobnicate"}, 2, "unknown command", false},
        {{"decode"}, 2, "one input", false},
        {{"decode", Path("clip.tsr")}, 2, "-o FILE", false},
        {{"decode", Path("clip.tsr"), "-o", out, "--scale", "4"}, 2, "--scale", false},
        {{"decode", Path("clip.tsr"), "-o", out, "--bogus"}, 2, "unknown option --bogus", false},
        {{"decode", Path("clip.tsr"), "-o", out, "--frames", "3"}, 2, "3 frames", false},
        {{"decode", Path("clip.tsr"), "-o", Path("out.png")}, 2, "%d", false},
        {{"decode", Path("clip.tsr"), "-o", Path("out_%s.png")}, 2, "only one %d", false},
        {{"decode", Path("missing.tsr"), "-o", out}, 1, "cannot open", false},
        {{"decode", Path("garbage.bin"), "-o", out}, 1, "neither", false},
        {{"decode", Path("truncated.tsr"), "-o", out}, 1, "frame 2 is truncated", false},
        {{"decode", Path("truncated.mov"), "-o", out}, 1, "truncated.mov", false},
        {{"decode", Path("broken.tsr"), "-o", out}, 1, "frame 1: invalid frame (-2)", false},
        {{"info", Path("othertrack.mov")}, 1, "no tsrn or tsrh video track", false},
        {{"info", Path("garbage.bin")}, 1, "neither", false},
        {{"info", "--frames", "1-0", Path("clip.tsr")}, 2, "--frames", false},
        {{"decode", Path("clip.tsr"), "-o", Path("clip.tsr")}, 2, "is also an input", false},
        {{"decode", Path("clip.tsr"), "-o", Path("no-such-folder/f%d.png")},
         1,
         ("cannot write " + Path("no-such-folder/f0.png") + ": No such file").c_str(),
         false},
        {{"debayer", Path("decoded.raw"), "-o", Path("decoded.raw")}, 2, "is also an input", false},
        {{"encode", "--scene", "--size", "33x20", "-o", out}, 2, "--size", false},
        {{"encode", "--scene", "-o", Path("out.mp4")}, 2, "MP4", false},
        {{"encode", "--scene", "--version", "0", "--tone-curve", "0,1,2,3,4,5,6,7", "-o", out},
         2,
         "tone curve",
         false},
        {{"encode", "--scene", "--tone-curve", "0,1,2,3,4,5,6,6", "-o", out}, 2, "increase", false},
        {{"encode", "--scene", "--quant-matrix", "64", "-o", out}, 2, "--quant-matrix", false},
        {{"encode", "--scene", "--slice-width", "3", "-o", out}, 2, "--slice-width", false},
        {{"encode", Path("missing.png"), "-o", out}, 1, "missing.png", false},
        {{"encode", Path("odd.png"), "-o", out}, 1, "even width", false},
        {{"encode", Path("odd.png"), "--max-pixels", "659", "-o", out},
         1,
         "a 33x20 picture has more than 659",
         false},
        {{"encode", Path("clip.tsr"), "-o", out}, 1, "clip.tsr", false},
        {{"encode", "--scene", "-o", Path("no-such-folder/out.tsr")}, 1, "cannot write", false},
        {{"debayer", Path("clip.tsr"), "-o", out}, 1, "frame info record", false},
        {{"debayer", Path("truncated.raw"), "-o", out}, 1, "truncated", false},
        {{"convert", Path("clip.tsr"), "-o", exr}, 2, "%d", false},
        {{"convert", Path("clip.tsr"), "-o", out, "--colour", "1,2"}, 2, "12", false},
        {{"convert", Path("clip.tsr"), "-o", out, "--curve", "9"}, 2, "--curve", false},
        {{"convert", Path("clip.tsr"), "-o", out, "--device", "7:0"}, 1, "no OpenCL device 7:0", false},
        {{"convert", Path("broken.tsr"), "-o", out}, 1, "frame 1: invalid frame", false},
        {{"convert", Path("clip.tsr"), "-o", Path("no-such-folder/out.raw")},
         1,
         ("cannot write " + Path("no-such-folder/out.raw") + ": No such file").c_str(),
         true}, // refused before any OpenCL work
        {{"convert", Path("clip.tsr"), "-o", out, "--engine", "opencl"}, 1, "no OpenCL platform", true},
        {{"convert", Path("clip.tsr"), "-o", out, "--engine", "gpu"}, 2, "--engine", false},
        {{"convert", Path("clip.tsr"), "-o", out, "--engine", "cpu", "--device", "0:0"},
         2,
         "--device",
         false},
        {{"demo", "--engine", "opencl", Path("demo")}, 1, "no OpenCL platform", true},
        {{"demo"}, 2, "one output folder", false},
    };
    for (const Case& c : cases) {
        std::string command;
        for (const std::string& word : c.arguments) command += word + " ";
        SCOPED_TRACE(command);
        std::vector<std::string> environment;
        if (c.withoutOpenCL) environment = {"OCL_ICD_VENDORS=" + Path("no-opencl"), "OCL_ICD_FILENAMES="};
        const ToolResult run = RunTool(c.arguments, environment);
        EXPECT_EQ(0, run.signal);
        EXPECT_EQ(c.exitCode, run.exitCode);
        ASSERT_EQ(1u, run.ErrorLines().size()) << run.err;
        EXPECT_EQ(0u, run.err.find("tsrraw")) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.says)) << run.err;
        EXPECT_EQ(m_inputs, Files()) << "no output and no temporary file may remain";
    }
}

// Outputs that are devices or pipes are written in place, never renamed over; an output over the
// file size limit (a full disk alike) fails with one line and leaves nothing behind.
TEST_F(ErrorsTest, PipesAreWrittenInPlaceAndFullDisksLeaveNothing) {
    const std::string fifo = Path("pipe");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    // The read end is open first, so the tool's writes (3420 bytes) fit the pipe's buffer.
    const int readEnd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_LE(0, readEnd);
    const ToolResult run = RunTool({"decode", "-o", fifo, Path("clip.tsr")});
    EXPECT_EQ(0, run.exitCode) << run.err;
    std::vector<uint8_t> received(65536);
    const ssize_t got = read(readEnd, received.data(), received.size());
    close(readEnd);
    received.resize(got > 0 ? static_cast<size_t>(got) : 0);
    EXPECT_EQ(ReadFile(Path("decoded.raw")), received);
    struct stat status {};
    ASSERT_EQ(0, stat(fifo.c_str(), &status));
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    std::remove(fifo.c_str());

    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    rlimit small = saved;
    small.rlim_cur = 1000; // the tool inherits it; the decoded clip is larger
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    const ToolResult full = RunTool({"decode", "-o", Path("full.raw"), Path("clip.tsr")});
    const ToolResult fullQuickTime = RunTool({"encode", "--scene", "--count", "2", "-o", Path("full.mov")});
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &saved));
    for (const ToolResult& r : {full, fullQuickTime}) {
        EXPECT_EQ(1, r.exitCode);
        ASSERT_EQ(1u, r.ErrorLines().size()) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("File too large")) << r.err;
    }
    EXPECT_EQ(m_inputs, Files());

    if (geteuid() != 0) { // root writes into read-only folders
        ASSERT_EQ(0, mkdir(Path("readonly").c_str(), 0500));
        const ToolResult readOnly = RunTool({"decode", "-o", Path("readonly/out.raw"), Path("clip.tsr")});
        EXPECT_EQ(1, readOnly.exitCode);
        EXPECT_NE(std::string::npos, readOnly.err.find("cannot write " + Path("readonly/out.raw")))
            << readOnly.err;
    }
}

TEST_F(ErrorsTest, FramesBeforeABrokenOneStayCompleteTheRestDoNotAppear) {
    for (const char* overlap : {"--no-overlap", "--threads=2"}) {
        SCOPED_TRACE(overlap);
        const ToolResult run =
            RunTool({"convert", overlap, "--format", "raw", "-o", Path("f%d.rgba"), Path("broken.tsr")});
        EXPECT_EQ(1, run.exitCode);
        EXPECT_EQ(1u, run.ErrorLines().size()) << run.err;
        std::vector<std::string> expected = m_inputs;
        expected.push_back("f0.rgba");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, Files());
        EXPECT_EQ(32u * 16u * 8u, ReadFile(Path("f0.rgba")).size());
        std::remove(Path("f0.rgba").c_str());
    }
}

TEST_F(ErrorsTest, HelpForEveryCommand) {
    for (const char* command : {"info", "encode", "decode", "debayer", "convert", "devices", "demo"}) {
        SCOPED_TRACE(command);
        const ToolResult run = RunTool({command, "--help"});
        EXPECT_EQ(0, run.exitCode);
        EXPECT_EQ("", run.err);
        EXPECT_NE(std::string::npos, run.out.find(std::string("usage: tsrraw ") + command));
    }
    const ToolResult top = RunTool({"--help"});
    EXPECT_EQ(0, top.exitCode);
    EXPECT_NE(std::string::npos, top.out.find("convert"));
    // The CPU engine is the default where there is no GPU: the summary names both engines.
    EXPECT_EQ(std::string::npos, top.out.find("GPU")) << top.out;
    EXPECT_NE(std::string::npos, top.out.find("the CPU engine and the OpenCL devices")) << top.out;
}

using InterruptTest = ToolTest;

TEST_F(InterruptTest, OutputsInProgressVanishFinishedOnesStay) {
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        InstallInterruptCleanup();
        OutputFile done(Path("done.raw"));
        done.Write("a", 1);
        done.Commit();
        OutputFile stream(Path("stream.raw"));
        stream.Write("b", 1);
        stream.Stream();
        OutputFile byName(Path("picture.exr")); // written by a library through the temporary name
        std::fclose(std::fopen(byName.TemporaryPath().c_str(), "wb"));
        std::raise(SIGTERM);
        _exit(0); // not reached
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(SIGTERM, WTERMSIG(status));
    EXPECT_EQ((std::vector<std::string>{"done.raw"}), Files());
}

} // namespace
} // namespace tsr::tools::test
