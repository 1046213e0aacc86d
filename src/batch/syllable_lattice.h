// The syllable lattice of a stored utterance: the station's large-vocabulary
// batch procedure.
//
// One recording is read whole as raw 16-bit samples (header bytes included),
// its features and best-Gaussian state scores are computed over the whole
// buffer, and the free-syllable decoding (batch/free_syllable_decoding.h)
// cuts it into syllable segments. Every segment is then rescored for every
// syllable of the list, and its N best syllables (N = the engine's lattice
// depth, 25 at start-up) form the lattice. Three files are written into the
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

namespace kws {

struct RecognizerEngine;
struct SyllableLatticeRun;
struct Vocabulary;

struct LatticeFiles {
  std::string recording;      // read whole as raw samples
  std::string output_folder;  // gets news.rep, syllable.h and dat/NAME.dat
};

// What the station runs: wave/n34512.wav under the data directory, with the
// files written into the data directory.
LatticeFiles station_lattice_files(const RecognizerEngine& engine);

// The recording's file name without its folders, cut at its first ".".
std::string lattice_name(std::string_view recording);

// The whole procedure. Returns true when the three files are written and the
// run (path, lattice, report lines) is in engine.syllable_lattice.
//
// A recording that cannot be read shows "Open source error!\n", a report that
// cannot be written "Open news.rep error!\n", a lattice or index file that
// cannot be written "Open syllable.h error!\n"; each ends the process with
// status 1 after its message box. A recording longer than the sample buffer
// (8 s), one too short for a frame, or a decoding refusal shows a message box
// and returns false with no file written.
bool run_syllable_lattice(RecognizerEngine& engine, const LatticeFiles& files);

// From the decoded path in engine.syllable_lattice: rescores every segment
// for every syllable, ranks them (descending score, of equal scores the
// higher syllable index first), keeps min(depth, K) per segment and forms
// the report lines. A segment spans its start frame up to the next segment's
// start frame - 1, the last one up to frame T - 1.
void build_syllable_lattice(RecognizerEngine& engine);

// The files' contents for a built run and its vocabulary.
std::string report_text(const SyllableLatticeRun& run);
std::string lattice_file_bytes(const SyllableLatticeRun& run);
std::string syllable_index_text(const Vocabulary& vocabulary, int syllable_count);

}  // namespace kws
