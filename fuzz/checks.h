// Properties checked on arbitrary input by the fuzz targets and, for inputs
// kept in fuzz/regressions/, by the regression test. Each check returns an
// empty string when the property holds, else what went wrong; a crash or a
// sanitizer report is a failure too.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// config.txt holding data, read, written, read and written again: both reads
// give the same settings, every setting lies within its range, and the second
// write reproduces the first byte for byte (the normalised text is a fixed
// point). Works in a private scratch directory that it makes the working
// directory on first use.
std::string checkConfigRoundTrip(const uint8_t *data, size_t size);

// mmodelValidate on data with several message buffer sizes: it must not
// crash, must agree with itself, and must leave a terminated message. When it
// accepts, mmodelPackAppend of data onto a non-empty pack must copy exactly
// the file's vertices and indices, rebased, with every index in range.
std::string checkOmm(const uint8_t *data, size_t size);
