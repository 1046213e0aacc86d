// The syllable lattice of a stored utterance: the station's large-vocabulary
// batch procedure.
//
// One recording is read whole as raw 16-bit samples (header bytes included),
// its features and best-Gaussian state scores are computed over the whole
// buffer, and the free-syllable decoding (batch/free_syllable_decoding.h)
// cuts it into syllable segments. Every segment is then rescored for every
// syllable of the list, and its N best syllables (N = the run's lattice
// depth, 25 unless changed) form the lattice. Three files are written into the
// output folder:
//
//  - news.rep: one Big5 line per segment, "(%3d.::%3d)" with the segment
//    number and duration, then "%8s " per rank with the syllable text;
//  - dat/NAME.dat: the lattice, little-endian, NAME being the recording's
//    file name cut at its first ".":
//      int16 segment count S; S x int16 duration;
//      per segment: int16 n, then n x (int16 syllable index, float32 score);
//  - syllable.h: "## Total Syllable number=K", then "i  text" per syllable.
//
// With fewer syllables in the list than N, every segment lists all K of them
// and n is K: each segment carries its own count, so a reader never needs N.
#pragma once

#include <string>
#include <string_view>

#include "engine/engine_values.h"
#include "platform/refusal.h"

namespace kws {

struct LoadedData;
struct SyllableLatticeRun;
struct UtteranceWorkspace;
struct Vocabulary;

// What the station runs: wave/n34512.wav under the data directory, with the
// files written into the data directory.
LatticeFiles station_lattice_files(const LoadedData& data);

// The recording's file name without its folders, cut at its first ".".
std::string lattice_name(std::string_view recording);

// The whole procedure, with the workspace's sample buffer, features and state
// scores and the run's decoding tables. Returns what the dialog lists once
// the three files are written; the run keeps its path and lattice.
//
// Refuses a recording that cannot be read ("Open source error!"), a report
// that cannot be written ("Open news.rep error!") and a lattice or index file
// that cannot be written ("Open syllable.h error!"): message boxes after
// which the station ends. Refuses, in a message box after which the station
// goes on and with no file written, a recording longer than the sample
// buffer (8 s), one too short for a frame, and a decoding refusal.
OrRefusal<LatticeOutcome> run_syllable_lattice(const LoadedData& data, const Vocabulary& vocabulary,
                                               const LatticeFiles& files, UtteranceWorkspace& work,
                                               SyllableLatticeRun& run);

// From the decoded path in run: rescores every segment for every syllable,
// ranks them (descending score, of equal scores the higher syllable index
// first), keeps min(depth, K) per segment and forms the report lines. A
// segment spans its start frame up to the next segment's start frame - 1, the
// last one up to frame T - 1.
void build_syllable_lattice(const LoadedData& data, const Vocabulary& vocabulary, const UtteranceWorkspace& work,
                            SyllableLatticeRun& run);

// The files' contents for a built run and its vocabulary.
std::string report_text(const SyllableLatticeRun& run);
std::string lattice_file_bytes(const SyllableLatticeRun& run);
std::string syllable_index_text(const Vocabulary& vocabulary, int syllable_count);

}  // namespace kws
