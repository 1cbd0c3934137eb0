#pragma once
// Lambdas for std::visit, one per alternative: `std::visit(Overloaded{[](const A&) {...}, [](const B&) {...}},
// value)`. Without a catch-all lambda the compiler names every alternative left out.
namespace platform {

template <class... Lambdas>
struct Overloaded : Lambdas... {
    using Lambdas::operator()...;
};
template <class... Lambdas>
Overloaded(Lambdas...) -> Overloaded<Lambdas...>;

} // namespace platform
