#pragma once

#include <atomic>
#include <string>

// Whether the sound server behind one of SDL's audio drivers answers, asked
// in a copy of this program: SDL's audio is started and stopped on the main
// thread alone (SDL 3 allows no other), and a server that takes a connection
// and never answers would hold that thread for as long. The copy is held up
// instead, and given up.
namespace sdlbackend {

// True when SDL's audio started on driver in the copy, with an output
// device, within a second or two; false when it did not, or when stop came
// true meanwhile. Safe on any thread.
bool SoundServerAnswers(const std::string& driver, const std::atomic<bool>& stop);

}  // namespace sdlbackend
