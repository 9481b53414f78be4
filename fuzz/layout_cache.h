#pragma once

// The layout the fuzz checks parsed last, handed on to the mutator. libFuzzer mutates the input it
// has just run, so without this the mutator would parse again the bytes that the checks parsed a
// moment before: a third of the work for each input. Only exactly the same bytes take the kept
// layout, so the mutator sees what ParseModel would give it.

#include "model_oracle.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Keeps what ParseModel(bytes, model) returned and the layout it filled, replacing what was kept.
void KeepLayout(const std::string& bytes, bool parsed, ModelLayout&& model);

// ParseModel(bytes, model), from the kept layout when it was kept for these very bytes (it is
// then handed over, not copied: the next call parses).
bool ParseModelOnce(const std::uint8_t* data, std::size_t size, ModelLayout& model);
