// The signals that ask a program to end (SIGINT from Ctrl+C, SIGTERM from a
// logout or a service manager, SIGHUP when its terminal goes) on SDL. They
// are blocked in every thread and taken by one of ours with sigwait, so no
// handler runs at an awkward moment and none waits for a blocked thread to
// come back. While the game runs a signal becomes a close request, read with
// the other messages. While a question box is up the main thread waits
// inside SDL for the box's own process, so our thread takes the box down and
// ends the program.
#include <dirent.h>
#include <pthread.h>
#include <unistd.h>

#include <SDL.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include "platform/sdl/sdl_backend.h"

namespace {

std::atomic<int> pendingSignal{0};  // the last signal not yet taken
std::atomic<bool> boxShown{false};
std::atomic<bool> ending{false};

sigset_t EndSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&signals, signal);
    }
    return signals;
}

// Killing a box's own process wakes the main thread, waiting for it inside
// SDL, before the process ends; SDL 2 then tries its next way of showing the
// box and forks for zenity, which would outlive the game. A fork once the end
// has begun waits for the end instead.
void HoldForkWhileEnding() {
    while (ending.load()) {
        pause();
    }
}

// A forked process (a box's own, or one about to start another program such
// as zenity) has no thread to take the signals: there they act as usual.
void UnblockInChild() {
    const sigset_t signals = EndSignals();
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
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
    if (!ending.exchange(true)) {
        KillDescendants(getpid());
        std::signal(signal, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        raise(signal);
    }
    for (;;) {
        pause();  // the other thread is ending the process
    }
}

void TakeSignals(sigset_t signals) {
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) {
            continue;
        }
        pendingSignal.store(signal);
        if (boxShown.load()) {
            EndWithBoxUp(signal);
        }
    }
}

}  // namespace

namespace sdlbackend {

void CatchEndSignals() {
    // Left to SDL, SIGINT and SIGTERM would become a quit event that nobody
    // reads while a box is up.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Before any other thread starts, so that every thread inherits the mask.
    const sigset_t signals = EndSignals();
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) {
        return;
    }
    pthread_atfork(HoldForkWhileEnding, nullptr, UnblockInChild);
    std::thread(TakeSignals, signals).detach();
}

void KeepChildrenWaitable() {
    struct sigaction action {};
    sigaction(SIGCHLD, nullptr, &action);
    if (action.sa_handler == SIG_IGN || (action.sa_flags & SA_NOCLDWAIT) != 0) {
        action.sa_handler = SIG_DFL;
        action.sa_flags = 0;
        sigemptyset(&action.sa_mask);
        sigaction(SIGCHLD, &action, nullptr);
    }
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
