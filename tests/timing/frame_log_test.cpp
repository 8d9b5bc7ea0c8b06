// The log is opened by static initialisation, so these tests run a whole
// headless game process in a scratch folder and read what it left.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FrameLog : public ::testing::Test {
protected:
    void SetUp() override {
        const char* program = std::getenv("ZARVO_HEADLESS_MATCH");
        ASSERT_NE(program, nullptr) << "ZARVO_HEADLESS_MATCH names the headless match program";
        matchProgram = program;
        folder = fs::temp_directory_path() /
                 ("zarvo-log-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        // A program built for another processor (arm64 under qemu) starts
        // only where the kernel hands such programs to an emulator (binfmt_misc).
        if (RunMatch("0", "90") == kCannotStart) {
            GTEST_SKIP() << "the kernel cannot start " << matchProgram << " (Exec format error)";
        }
        fs::remove(folder / "vorn.txt");
    }
    void TearDown() override {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder);
    }

    static constexpr int kCannotStart = 113;

    // Starts the match in the folder; returns its process id.
    pid_t StartMatch(const std::string& seconds, const std::string& rate) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(folder.c_str()) != 0) {
                ::_exit(111);
            }
            ::execl(matchProgram.c_str(), matchProgram.c_str(), seconds.c_str(), rate.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(errno == ENOEXEC ? kCannotStart : 112);
        }
        return child;
    }

    // Runs the match in the folder; returns its exit status.
    int RunMatch(const std::string& seconds, const std::string& rate) { return WaitMatch(StartMatch(seconds, rate)); }

    static int WaitMatch(pid_t child) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string ReadLog() {
        std::ifstream in(folder / "vorn.txt", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    struct LogLine {
        std::string text;
        int rate = 0;
        int interval = 0;
        bool whole = false;  // two numbers and nothing else, as the log writes them
    };
    std::vector<LogLine> ReadLogLines() {
        std::vector<LogLine> result;
        std::istringstream lines(ReadLog());
        std::string text;
        while (std::getline(lines, text)) {
            LogLine line{text};
            char extra = 0;
            line.whole = std::sscanf(text.c_str(), "%d %d%c", &line.rate, &line.interval, &extra) == 2 &&
                         text == std::to_string(line.rate) + " " + std::to_string(line.interval);
            result.push_back(line);
        }
        return result;
    }

    std::string matchProgram;
    fs::path folder;
};

TEST_F(FrameLog, OneLineATickOfRateAndInterval) {
    ASSERT_EQ(RunMatch("7", "90"), 0);
    // The splash holds the ball still for five ticks, then the computer players play.
    const std::string log = ReadLog();
    EXPECT_EQ(log.substr(0, 30), "90 10\n90 10\n90 10\n90 10\n90 10\n");
    const std::vector<LogLine> lines = ReadLogLines();
    for (const LogLine& line : lines) {
        EXPECT_TRUE(line.whole) << line.text;
        EXPECT_EQ(line.rate, 90);
        EXPECT_GE(line.interval, 1);
    }
    EXPECT_EQ(lines.size(), 7u);
    EXPECT_EQ(log.back(), '\n');
}

TEST_F(FrameLog, AnExistingLogIsEmptiedAtStart) {
    {
        std::ofstream old(folder / "vorn.txt");
        old << std::string(10000, 'x') << "\n";
    }
    ASSERT_EQ(RunMatch("0", "90"), 0);
    EXPECT_EQ(fs::file_size(folder / "vorn.txt"), 0u);
    ASSERT_EQ(RunMatch("2", "30"), 0);
    EXPECT_EQ(ReadLog(), "30 3\n30 3\n");
}

// Two copies started at once in one folder, as two launchers from a menu
// start them: one at 10 frames a second, one at 1, each for 20,000 seconds
// of ticks. Whoever empties the file last, every line in it is one of theirs.
TEST_F(FrameLog, TwoCopiesInOneFolderWriteOnlyWholeLines) {
    const pid_t fast = StartMatch("20000", "10");
    const pid_t slow = StartMatch("20000", "1");
    ASSERT_EQ(WaitMatch(fast), 0);
    ASSERT_EQ(WaitMatch(slow), 0);
    const std::string log = ReadLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
    const std::vector<LogLine> lines = ReadLogLines();
    int broken = 0;
    for (const LogLine& line : lines) {
        if (!line.whole || (line.rate != 10 && line.rate != 1) || line.interval < 1) {
            if (++broken <= 5) {
                ADD_FAILURE() << "a broken line: '" << line.text << "'";
            }
        }
    }
    EXPECT_EQ(broken, 0) << "of " << lines.size() << " lines";
    // The copy that emptied the file last wrote all its lines after that.
    EXPECT_GE(lines.size(), 20000u);
}

TEST_F(FrameLog, ASecondWithoutFramesLogsZeroAndOne) {
    ASSERT_EQ(RunMatch("2", "0"), 0);
    EXPECT_EQ(ReadLog(), "0 1\n0 1\n");
}

TEST_F(FrameLog, AFolderThatCannotHoldTheLogIsNoProblem) {
    if (::geteuid() == 0) {
        // root writes anywhere; a directory in the log's place still cannot be opened.
        fs::create_directory(folder / "vorn.txt");
    } else {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_EQ(RunMatch("6", "60"), 0);
    EXPECT_FALSE(fs::is_regular_file(folder / "vorn.txt"));
}

TEST_F(FrameLog, ReadOnlyFolderIsNoProblem) {
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(RunMatch("6", "60"), 0);
    if (::geteuid() != 0) {
        EXPECT_FALSE(fs::exists(folder / "vorn.txt"));
    }
}

}  // namespace
