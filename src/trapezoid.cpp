// trapezoid: estimates the integral of e^(-x) over [0, 1] with the composite
// trapezoidal rule on 64 intervals and reports it against the exact value.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

// The printed digits rest on every step being one correctly rounded binary64
// operation in the order written; a compiler free to regroup or replace them
// prints other last digits.
#if defined(__FAST_MATH__) || defined(__ASSOCIATIVE_MATH__) ||                 \
    defined(__RECIPROCAL_MATH__)
#error "trapezoid needs strict IEEE math: build without -ffast-math or -Ofast"
#endif
#ifdef __clang__
// Clang's -fassociative-math leaves no macro to test, so rule it out here.
#pragma clang fp reassociate(off)
#endif

// The integrand, e^(-x).
double f(double x) { return std::exp(-x); }

int main() {
  double t = 0.0;
  double s = 1.0 - f(1.0);
  double sum = 0.0;
  double x[65];
  double y[65];

  // Counting t up and scaling keeps every node exact: x[i] is i/64.
  for (int i = 0; i <= 64; i++) {
    x[i] = t * 0.015625;
    t = t + 1.0;
  }
  for (int i = 0; i <= 64; i++) {
    y[i] = f(x[i]);
  }
  // One trapezoid per interval, added in increasing order.
  for (int i = 0; i < 64; i++) {
    sum = sum + (x[i + 1] - x[i]) * ((y[i] + y[i + 1]) / 2.0);
  }
  double e = (sum - s) / s;

  // A report that did not reach its destination is a failed run, not a
  // successful one. Some runtimes (msvcrt) let printf and fflush look fine
  // after a failed write and record it only in the stream's error indicator.
  if (std::printf("s  = %.16lf \nsum= %.16lf\ne  = %.16lf", s, sum, e) < 0 ||
      std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "trapezoid: cannot write the report: %s\n",
                 std::strerror(errno));
    return 1;
  }
  return 0;
}
