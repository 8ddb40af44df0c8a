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

// Bytes as a heightmap of each format: mapProbe (side_max 1024) gives a
// reason or a header within range, whose decoding gives the file's samples
// with no .hgt void left, or a reason. A RAW is decoded as an .hgt too, a
// real one being too large to fuzz; and the bytes as a 64 x 64 splat map.
std::string checkTerrainFile(const uint8_t *data, size_t size);
