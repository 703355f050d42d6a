#pragma once
// Test seams. A few steps ask the machine something that a test machine
// cannot answer for real (an owner that Wine does not keep, a WOW64 process,
// a system without some function, a name collision in a chosen moment); the
// product calls each such step through a Seam, and a test swaps a stand-in
// in with ScopedOverride for the length of a scope.
//
// The contract, the same for every seam:
// - a Seam holds its real function from the start of the process (constant
//   initialization: no seam is ever called before it is set up);
// - the product calls the seam and never installs an override
//   (ScopedOverride is not declared for product code, ORBELLE_PRODUCT_CODE);
// - an override lasts exactly as long as its ScopedOverride, which puts back
//   what was there before it, also when a test fails part-way; overrides of
//   one seam nest, and end in the reverse order of their start;
// - a stand-in that answers only some calls passes the others to real().
// Seams are not synchronized: tests install them on the thread that calls.
#include <utility>

template <typename Fn> class ScopedOverride;

// A step of type `Fn` (a function pointer type) that tests may replace.
template <typename Fn> class Seam {
  public:
    constexpr explicit Seam(Fn real) noexcept : m_real(real), m_current(real) {}
    Seam(const Seam&) = delete;
    Seam& operator=(const Seam&) = delete;

    // Calls the function in place: the real one unless an override is alive.
    template <typename... Args> decltype(auto) operator()(Args&&... args) const
    {
        return m_current(std::forward<Args>(args)...);
    }

    // The real function, for a stand-in that answers only some calls.
    Fn real() const noexcept { return m_real; }

  private:
    friend class ScopedOverride<Fn>;
    const Fn m_real;
    Fn m_current;
};

#ifndef ORBELLE_PRODUCT_CODE
// Puts `replacement` in place of the function of `seam` until it goes away,
// then puts back the function that was in place before. A null replacement
// puts the real function in place.
template <typename Fn> class ScopedOverride {
  public:
    ScopedOverride(Seam<Fn>& seam, Fn replacement) noexcept : m_seam(seam), m_previous(seam.m_current)
    {
        seam.m_current = replacement ? replacement : seam.m_real;
    }
    ~ScopedOverride() { m_seam.m_current = m_previous; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

  private:
    Seam<Fn>& m_seam;
    const Fn m_previous;
};
#endif
