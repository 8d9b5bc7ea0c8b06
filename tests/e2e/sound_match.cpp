// Finds the sounds the game asked for in a recording of the sink's monitor
// and names them, by normalised cross-correlation with the game's sound
// files. Standard input gives the sounds asked for, in order, one a line:
// the time of the request (CLOCK_MONOTONIC, seconds), the file's name without
// ".wav", how many milliseconds of it can have been played before the next
// sound cut it off, and the time by which it must have started to be heard.
// For each, one line comes out:
//
//   NAME LATENCY_MS SCORE GAP_MS   where the sound asked for is first heard
//                                  (a correlation of at least HEARD, 1 being
//                                  the file itself), from the request to the
//                                  time given: the sound that correlates
//                                  best there, its delay after the request
//                                  and correlation, and the silence inside
//                                  it; where it is nowhere heard, the same
//                                  of its best place
//   short                          under 5 ms of it can have been played,
//                                  or the recording ends too soon: not judged
//
// GAP_MS counts 5 ms stretches, inside the sound as far as it can have played
// (to the next sound's start), that are silent in the recording where the
// file is not.
//
// Usage: zarvo_sound_match RECORDING HEARD FILE.wav...
//   RECORDING  raw 16-bit stereo at 44100 Hz, with the times of its samples
//              in RECORDING.timing (zarvo_sound_recorder)
//   HEARD      the correlation at which a sound counts as heard
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kEarliest = -kRate / 50;  // the recorder's times are a few ms late at most
// The part of a sound correlated: less than a buffer of SDL's (512 samples),
// which mostly reaches the server whole, so that a gap between buffers
// seldom falls inside it.
constexpr int kLongest = kRate / 100;
constexpr int kShortest = kRate / 200;
constexpr int kStep = 4;  // the coarse search's decimation
constexpr int kWindow = kRate / 200;
// A sound correlating this well is heard (given on the command line).
double heardScore = 0;
constexpr int kPeakSpan = kRate / 50;
constexpr double kHint = 0.5;

struct Sound {
    std::string name;
    std::vector<float> samples;
};

std::vector<char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        std::exit(1);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const char* p) {
    return static_cast<std::uint8_t>(p[0]) | static_cast<std::uint8_t>(p[1]) << 8 |
           static_cast<std::uint8_t>(p[2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(p[3])) << 24;
}

float Sample(const char* p) {
    return static_cast<float>(static_cast<std::int16_t>(static_cast<std::uint8_t>(p[0]) | static_cast<std::uint8_t>(p[1]) << 8));
}

// A 16-bit mono PCM WAV file at 44100 Hz, as the game's sounds are.
Sound ReadWav(const std::string& path) {
    const std::vector<char> file = ReadFile(path);
    Sound sound;
    const std::size_t slash = path.find_last_of('/');
    sound.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    sound.name = sound.name.substr(0, sound.name.find('.'));
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const std::uint32_t size = Le32(&file[at + 4]);
        if (std::string(&file[at], 4) == "data") {
            for (std::size_t i = at + 8; i + 2 <= std::min<std::size_t>(file.size(), at + 8 + size); i += 2) {
                sound.samples.push_back(Sample(&file[i]));
            }
            return sound;
        }
        at += 8 + size + (size & 1);
    }
    std::cerr << path << " has no data chunk\n";
    std::exit(1);
}

std::vector<float> Decimated(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    std::vector<float> out(count / kStep);
    for (std::size_t i = 0; i < out.size(); ++i) {
        float sum = 0;
        for (int k = 0; k < kStep; ++k) {
            sum += samples[from + i * kStep + k];
        }
        out[i] = sum;
    }
    return out;
}

// Normalised correlation of a with b at offset, over the length of b.
double Correlation(const std::vector<float>& a, long offset, const std::vector<float>& b, std::size_t length) {
    if (offset < 0 || offset + static_cast<long>(length) > static_cast<long>(a.size())) {
        return -1;
    }
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t k = 0; k < length; ++k) {
        ab += static_cast<double>(a[offset + k]) * b[k];
        aa += static_cast<double>(a[offset + k]) * a[offset + k];
        bb += static_cast<double>(b[k]) * b[k];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

struct Match {
    const Sound* sound = nullptr;
    long start = 0;
    double score = -1;
};

// The best full-rate place among starts [from, to].
Match Best(const std::vector<float>& recording, const Sound& sound, long from, long to, std::size_t n) {
    Match match;
    for (long start = from; start <= to; ++start) {
        const double score = Correlation(recording, start, sound.samples, n);
        if (score > match.score) {
            match = Match{&sound, start, score};
        }
    }
    return match;
}

// The first place among starts [from, to] where the sound asked for scores
// at least heardScore over length samples, or its best place when it scores that
// nowhere; named by the sound that scores best there. The decimated search
// only points out where to look: a start between its steps scores less there.
Match Find(const std::vector<float>& recording, const std::vector<float>& coarseRecording,
           const std::vector<Sound>& sounds, const Sound& asked, long from, long to, std::size_t length) {
    const std::size_t n = std::min(length, asked.samples.size());
    const std::vector<float> coarse = Decimated(asked.samples, 0, n);
    long coarseBest = 0;
    double coarseBestScore = -2;
    Match match;
    for (long lag = std::max(0L, from / kStep); lag <= to / kStep; ++lag) {
        const double score = Correlation(coarseRecording, lag, coarse, coarse.size());
        if (score > coarseBestScore) {
            coarseBestScore = score;
            coarseBest = lag;
        }
        if (score >= kHint) {
            long start = lag * kStep - kStep;
            for (; start <= lag * kStep + kPeakSpan; ++start) {
                if (Correlation(recording, start, asked.samples, n) >= heardScore) {
                    break;
                }
            }
            if (start <= lag * kStep + kPeakSpan) {
                // The best of the few milliseconds from the first good
                // place: the sound's own waves make lesser peaks before the
                // true one.
                match = Best(recording, asked, start, start + kPeakSpan, n);
                break;
            }
            lag += kPeakSpan / kStep;
        }
    }
    if (match.score < heardScore) {
        match = Best(recording, asked, coarseBest * kStep - kStep, coarseBest * kStep + kStep, n);
    }
    for (const Sound& sound : sounds) {
        const double score = Correlation(recording, match.start, sound.samples, std::min(length, sound.samples.size()));
        if (score > match.score) {
            match = Match{&sound, match.start, score};
        }
    }
    return match;
}

// Where in the recording a time falls, and back, by the recorder's times of
// its blocks: (samples recorded by then, time of the last of them).
class Timing {
public:
    explicit Timing(const std::string& path) {
        std::ifstream in(path);
        long frames = 0;
        double time = 0;
        while (in >> frames >> time) {
            blocks.emplace_back(frames, time);
        }
        if (blocks.empty()) {
            std::cerr << "no times in " << path << "\n";
            std::exit(1);
        }
    }
    long SampleAt(double time) const {
        auto block = std::lower_bound(blocks.begin(), blocks.end(), time,
                                      [](const auto& b, double t) { return b.second < t; });
        if (block == blocks.end()) {
            --block;
        }
        return block->first - std::lround((block->second - time) * kRate);
    }
    double TimeOf(long sample) const {
        auto block = std::lower_bound(blocks.begin(), blocks.end(), sample,
                                      [](const auto& b, long s) { return b.first < s; });
        if (block == blocks.end()) {
            --block;
        }
        return block->second - static_cast<double>(block->first - sample) / kRate;
    }

private:
    std::vector<std::pair<long, double>> blocks;
};

double Energy(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    double sum = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
    }
    return sum;
}

// Milliseconds of silence inside a heard sound, up to `end` in the recording.
int GapMs(const std::vector<float>& recording, const Match& match, long end) {
    const std::vector<float>& file = match.sound->samples;
    const long length = std::min<long>({static_cast<long>(file.size()), end - match.start,
                                        static_cast<long>(recording.size()) - match.start});
    double gain = 0, fileEnergy = 0;
    for (long k = 0; k < std::min<long>(length, kLongest); ++k) {
        gain += static_cast<double>(recording[match.start + k]) * file[k];
        fileEnergy += static_cast<double>(file[k]) * file[k];
    }
    gain = fileEnergy > 0 ? std::abs(gain) / fileEnergy : 0;
    int gaps = 0;
    for (long at = 0; at + kWindow <= length; at += kWindow) {
        const double expected = Energy(file, at, kWindow) * gain * gain;
        const double heard = Energy(recording, match.start + at, kWindow);
        // Quieter than a hundredth of what the file has there, where the
        // file itself is audible (a loud enough window: over 1/30 of full scale).
        if (expected > kWindow * 1000.0 * 1000.0 && heard < expected / 100) {
            gaps += 1000 * kWindow / kRate;
        }
    }
    return gaps;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: " << argv[0] << " RECORDING HEARD FILE.wav...\n";
        return 2;
    }
    const std::vector<char> raw = ReadFile(argv[1]);
    const Timing timing(std::string(argv[1]) + ".timing");
    heardScore = std::atof(argv[2]);
    std::vector<Sound> sounds;
    for (int i = 3; i < argc; ++i) {
        sounds.push_back(ReadWav(argv[i]));
    }
    std::vector<float> recording(raw.size() / 4);
    for (std::size_t i = 0; i < recording.size(); ++i) {
        recording[i] = (Sample(&raw[4 * i]) + Sample(&raw[4 * i + 2])) / 2;
    }
    const std::vector<float> coarseRecording = Decimated(recording, 0, recording.size());

    std::vector<double> askedAt;
    std::vector<long> asked;
    std::vector<long> latest;
    std::vector<long> played;
    std::vector<const Sound*> askedSounds;
    std::string name;
    double time = 0;
    double playedMs = 0;
    double latestTime = 0;
    while (std::cin >> time >> name >> playedMs >> latestTime) {
        askedAt.push_back(time);
        asked.push_back(timing.SampleAt(time));
        latest.push_back(timing.SampleAt(latestTime));
        played.push_back(std::lround(playedMs * kRate / 1000));
        const auto sound = std::find_if(sounds.begin(), sounds.end(), [&](const Sound& s) { return s.name == name; });
        if (sound == sounds.end()) {
            std::cerr << "no sound file " << name << "\n";
            return 1;
        }
        askedSounds.push_back(&*sound);
    }
    std::vector<Match> matches(asked.size());
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const long length = std::min<long>(played[i], kLongest);
        // Too little played, or more than was recorded: not judged.
        if (played[i] >= kShortest && latest[i] + length <= static_cast<long>(recording.size())) {
            matches[i] = Find(recording, coarseRecording, sounds, *askedSounds[i], asked[i] + kEarliest, latest[i],
                              length);
        }
    }
    for (std::size_t i = 0; i < asked.size(); ++i) {
        if (matches[i].sound == nullptr) {
            std::printf("short\n");
            continue;
        }
        // A sound plays until the next one starts, if that was heard.
        long end = static_cast<long>(recording.size());
        if (i + 1 < asked.size() && matches[i + 1].sound != nullptr && matches[i + 1].score >= heardScore) {
            end = matches[i + 1].start;
        }
        std::printf("%s %.1f %.3f %d\n", matches[i].sound->name.c_str(),
                    1000.0 * (timing.TimeOf(matches[i].start) - askedAt[i]), matches[i].score,
                    GapMs(recording, matches[i], end));
    }
    return 0;
}
