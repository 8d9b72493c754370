#pragma once

namespace lumivant {

// One callable from several lambdas, for std::visit: each alternative of a
// variant goes to the lambda that takes it.
template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace lumivant
