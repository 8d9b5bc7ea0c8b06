#include "platform/sdl/sound_server_check.h"

#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace sdlbackend {
namespace {

// Names the driver in the copy's environment.
constexpr char kCheckVariable[] = "ZARVO_SOUND_SERVER_CHECK";
// SDL's audio starts within tens of milliseconds on a server that answers,
// a few hundred on a loaded machine.
constexpr auto kAnswerWithin = std::chrono::seconds(2);
constexpr auto kLookInterval = std::chrono::milliseconds(10);
// What a child of posix_spawn ends with when it could not start the program
// (where the error cannot be handed back, as under qemu-user).
constexpr int kNotStarted = 127;

// The copy does this alone, before anything of the program runs (the game
// would empty its log): whatever program the backend is part of (the game,
// its tests). 101 is the first priority a program may take: before every
// static object the program orders. An empty driver is SDL's own choice.
__attribute__((constructor(101))) void CheckInACopy() {
    const char* driver = std::getenv(kCheckVariable);
    if (driver != nullptr) {
        std::_Exit(SDL_AudioInit(*driver != 0 ? driver : nullptr) == 0 && SDL_GetNumAudioDevices(0) > 0 ? 0 : 1);
    }
}

}  // namespace

bool SoundServerAnswers(const std::string& driver, const std::atomic<bool>& stop) {
    std::vector<std::string> settings{std::string(kCheckVariable) + "=" + driver};
    for (char** setting = environ; *setting != nullptr; ++setting) {
        settings.emplace_back(*setting);
    }
    std::vector<char*> environment;
    for (std::string& setting : settings) {
        environment.push_back(setting.data());
    }
    environment.push_back(nullptr);
    char name[] = "zarvo-sound-check";
    char* arguments[] = {name, nullptr};
    // What SDL and the sound libraries say while a server is away would be
    // said again every second.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t copy = 0;
    const int failed = posix_spawn(&copy, "/proc/self/exe", &quiet, nullptr, arguments, environment.data());
    posix_spawn_file_actions_destroy(&quiet);
    // Without a copy (the program's file replaced or gone, no /proc), the
    // device is tried at once.
    if (failed != 0) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + kAnswerWithin;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(copy, &status, WNOHANG);
        if (ended == copy) {
            return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == kNotStarted);
        }
        if (ended < 0 && errno != EINTR) {
            return false;  // not ours to wait for: its id may already be another's
        }
        if (stop || std::chrono::steady_clock::now() > deadline) {
            kill(copy, SIGKILL);
            waitpid(copy, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(kLookInterval);
    }
}

}  // namespace sdlbackend
