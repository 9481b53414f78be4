#pragma once

// A mutator that knows the model's structure: it parses the input into a layout, changes the
// layout (key counts, interpolation types, track and node lists, geoset arrays and texture
// coordinate sets, chunk order, the model version, the bytes of a leaf) and writes it back with
// every chunk, node and geoset size consistent, so that fuzzing reaches deep into the walkers
// instead of stopping at the first size check. Now and then it breaks one size or count, cuts the
// file at a field, or leaves the bytes to a plain byte-level mutation.

#include "model_oracle.h"

#include <cstddef>
#include <cstdint>
#include <random>

// A byte-level mutator (libFuzzer's LLVMFuzzerMutate): mutates size bytes of data in place,
// growing them up to maxSize, and returns the new size.
using RawMutator = std::size_t (*)(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// One change to model that keeps it well-formed: a model that walks to a clean end still does
// after it. rawMutate (may be null) mutates the bytes of leaves.
void MutateLayout(ModelLayout& model, std::mt19937& random, RawMutator rawMutate);

// Mutates the size bytes of data in place (at most maxSize) and returns the new size. Falls
// back to rawMutate when the data is not a model or the result would not fit.
std::size_t MutateModel(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed,
                        RawMutator rawMutate);

// Splices chunks of the second model into the first; writes at most maxOutSize bytes to out
// and returns their number (0 when neither is a model).
std::size_t CrossOverModels(const std::uint8_t* data1, std::size_t size1, const std::uint8_t* data2,
                            std::size_t size2, std::uint8_t* out, std::size_t maxOutSize, unsigned seed);
