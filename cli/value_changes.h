#pragma once

// The largest change that the reduction made to each kind of value (--stats), measured while the
// conversion runs: lengths in the values' own units, normals, tangents and rotations as angles.

#include "value_reduction.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The figures of one file, or the largest of a batch.
struct ValueChanges {
    // By ReducedKind: the largest absolute change, or for normals, tangents (their xyz) and rotations
    // the largest angle in degrees between a value before and after (a rotation's angle is
    // 2 acos(|q.q'| / (|q| |q'|))). Zero-length normals, tangents and quaternions are left out.
    double largest[kReducedKindCount] = {};
    double modelSize = 0;                      // the largest absolute vertex coordinate
    std::int64_t values[kReducedKindCount] = {}; // values met of each kind
    std::int64_t nonFinite = 0;                // NaN and infinite values, left out of the figures
};

// A ValueObserver whose context is a ValueChanges.
void ObserveValueChanges(void* context, ReducedKind kind, const std::uint32_t* original, const std::uint32_t* reduced,
                         std::size_t count);

// Takes the larger of each figure of file into batch and adds up the counts.
void AddValueChanges(const ValueChanges& file, ValueChanges& batch);

// "largest change: positions 0.24 of 412 units, normals 0.31°, ..." over the kinds met, with the
// non-finite values left out when there are any.
std::string DescribeValueChanges(const ValueChanges& changes);

// The name of a kind's figure in --json output: its KindWord, with "_degrees" for an angle
// ("positions", "normals_degrees", ...).
std::string ValueChangeKey(ReducedKind kind);
