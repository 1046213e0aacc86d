// The front end's FFT: a radix-2 complex transform and the real-input transform
// built on it, both in place on one-based vectors.
//
// Precision is part of the contract: data stay in float, while the twiddle
// factors and their recurrence run in double and each butterfly product is
// formed in double and rounded once to float. Features depend on these bits.
#pragma once

#include "frontend/analysis_setup.h"

namespace kws {

// s[1..2n] holds n = s.size() / 2 complex numbers z_m = s[2m-1] + i s[2m]
// (n a power of two). Replaces them by their unscaled DFT with a positive
// exponent: Z_k = sum_m z_m exp(+2 pi i (m-1)(k-1) / n).
void fft_in_place(OneBasedVector& s);

// s[1..2n] holds 2n real samples. Afterwards bin k = 1..n has real part
// s[2k-1] and imaginary part s[2k] of the positive-exponent DFT of length 2n,
// with two deliberate departures that the trained models depend on:
// - s[2] is 0 (the Nyquist value is dropped, not packed there);
// - the split step skips its last pair, so bins n/2 and n/2 + 2 keep the
//   complex transform's values Z of fft_in_place instead of the real DFT.
void real_fft(OneBasedVector& s);

}  // namespace kws
