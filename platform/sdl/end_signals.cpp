// The signals that ask a program to end (SIGINT from Ctrl+C, SIGTERM from a
// logout or a service manager, SIGHUP when its terminal goes) on SDL. While
// the game runs they become a close request, read with the other messages.
// While a question box is up the main thread waits inside SDL for the box's
// own process, so a thread of ours takes the box down and ends the program.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <SDL.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/sdl/sdl_backend.h"

namespace {

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> pendingSignal{0};  // the last signal not yet taken
std::atomic<bool> boxShown{false};
std::atomic_flag ending = ATOMIC_FLAG_INIT;
// Written by the handler, read by the box watcher; left open for the life of
// the process, and closed in every program it starts.
int wakePipe[2] = {-1, -1};

void OnEndSignal(int signal) {
    const int savedErrno = errno;
    pendingSignal.store(signal);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &byte, 1);
    errno = savedErrno;
}

// Every process started by this one and by those it started: the box's own
// process, and the zenity that may draw the box. Each is killed after its
// children have been found, so that none escapes to another parent.
void KillDescendants(pid_t parent) {
    const std::string tasks = "/proc/" + std::to_string(parent) + "/task";
    DIR* folder = opendir(tasks.c_str());
    if (folder == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        std::ifstream children(tasks + "/" + entry->d_name + "/children");
        pid_t child = 0;
        while (children >> child) {
            KillDescendants(child);
            kill(child, SIGKILL);
        }
    }
    closedir(folder);
}

// Nothing has been changed yet while the questions are asked (no window, no
// display mode): the program ends as the signal's default action ends it.
[[noreturn]] void EndWithBoxUp(int signal) {
    if (!ending.test_and_set()) {
        KillDescendants(getpid());
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    for (;;) {
        pause();  // the other thread is ending the process
    }
}

void WatchBoxes() {
    char byte = 0;
    while (read(wakePipe[0], &byte, 1) == 1 || errno == EINTR) {
        const int signal = pendingSignal.load();
        if (signal != 0 && boxShown.load()) {
            EndWithBoxUp(signal);
        }
    }
}

}  // namespace

namespace sdlbackend {

void CatchEndSignals() {
    // SDL would turn SIGINT and SIGTERM into a quit event that nobody reads
    // while a box is up.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (pipe2(wakePipe, O_CLOEXEC) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : kEndSignals) {
        sigaction(signal, &action, nullptr);
    }
    std::thread(WatchBoxes).detach();
}

bool TakeEndRequest() { return pendingSignal.exchange(0) != 0; }

BoxShown::BoxShown() {
    boxShown.store(true);
    if (const int signal = pendingSignal.load(); signal != 0) {
        EndWithBoxUp(signal);
    }
}

BoxShown::~BoxShown() { boxShown.store(false); }

}  // namespace sdlbackend
