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

    // Runs the match in the folder; returns its exit status.
    int RunMatch(const std::string& seconds, const std::string& rate) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(folder.c_str()) != 0) {
                ::_exit(111);
            }
            ::execl(matchProgram.c_str(), matchProgram.c_str(), seconds.c_str(), rate.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(errno == ENOEXEC ? kCannotStart : 112);
        }
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

    std::string matchProgram;
    fs::path folder;
};

TEST_F(FrameLog, OneLineATickOfRateAndInterval) {
    ASSERT_EQ(RunMatch("7", "90"), 0);
    // The splash holds the ball still for five ticks, then the computer players play.
    const std::string log = ReadLog();
    EXPECT_EQ(log.substr(0, 30), "90 10\n90 10\n90 10\n90 10\n90 10\n");
    std::istringstream lines(log);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        int rate = 0;
        int interval = 0;
        char extra = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "%d %d%c", &rate, &interval, &extra), 2) << line;
        EXPECT_EQ(rate, 90);
        EXPECT_GE(interval, 1);
    }
    EXPECT_EQ(count, 7);
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
