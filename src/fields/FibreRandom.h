// FibreRandom: the program's own pseudo-random sequence for seeding fibre lines.
#pragma once

/// Largest value fibreRandom returns.
constexpr int kFibreRandomMax = 32767;

/// Next integer in 0 ... 32767 of one process-wide sequence (a linear congruential generator).
/// The program never reseeds it: the sequence runs on from program start across every fibre-line
/// build, so the same actions give the same lines on every run. Not thread-safe; the fibre-line
/// builder draws from it serially on the user-interface thread.
int fibreRandom();

/// Restarts the sequence at its start-up state. Tests only: lets one process compare two runs of
/// the same actions. The program itself never calls it.
void resetFibreRandomForTesting();
