// The unattended runs of the command line, which skip the logo screen, draw
// with a fixed seed and end by themselves: the benchmark (benchmark.h) and
// the screenshot run, which saves the start view as a picture.
#pragma once

// ------------------------------------------------------------ functions ----

// 1 when the command line asked for a benchmark or a screenshot run.
int unattendedRun(void);

// One turn of the loop in an unattended run, once the start-up is complete:
// a benchmark frame, or the screenshot. Returns 0 once the run is done.
int unattendedTurn(void);

// Ends an unattended run: a benchmark's report (of the frames drawn, should
// the window have closed early) and its CSV. Needs the GL context. Returns
// the exit status: 0, or 1 when the report, the CSV or the picture could not
// be written.
int unattendedEnd(void);
