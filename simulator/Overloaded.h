#pragma once
// An overload set of lambdas for std::visit. Give it one lambda per
// alternative, none taking `auto`, so that a new alternative without its own
// branch does not compile.
template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;
