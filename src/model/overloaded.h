// One callable made of several lambdas, for std::visit: it has one call operator per lambda, so a
// visit over a variant compiles only when every alternative has a lambda of its own (none of them
// generic, no fallback a new alternative could slip through).
//
// Thread safety: as the lambdas it holds.
#pragma once

namespace lorvex {

template <typename... Lambdas>
struct Overloaded : Lambdas... {
  using Lambdas::operator()...;
};

}  // namespace lorvex
