#!/bin/sh
# Draws README's two pictures with gnuplot: doc/trapezoids.svg, the rule
# on a coarse grid, and doc/error.svg, the relative error against the
# number of intervals. Run by the build's figures target; draws into the
# folder given, or into doc/.
set -eu
out=${1:-$(dirname "$0")}
mkdir -p "$out"
cd "$out"
# The pictures hold UTF-8 text, whatever the user's locale.
export LC_ALL=C.UTF-8 BC_LINE_LENGTH=0
for tool in gnuplot:gnuplot-nox bc:bc; do
  if ! command -v "${tool%:*}" >/dev/null; then
    echo "figures.sh: ${tool%:*} was not found: install Debian's ${tool#*:} package" >&2
    exit 1
  fi
done

# The nodes of the coarse grid in the first picture.
nodes=$(awk 'BEGIN { for (i = 0; i <= 2; i++) printf "%.17g %.17g\n", i / 2, exp(-i / 2) }')

# For n = 1, 2, 4, ... 2^22 intervals: the relative error e computed with the
# program's own binary64 operations in its order, not by a library's
# quadrature; the rule's exact relative error, (h/2)·coth(h/2) − 1, with 60
# digits; and rounding's share, the absolute value of their difference, from
# the double e itself, all its digits, not from the 18 that the data shows.
# The computed points are drawn last, over rounding's share and the
# program's mark, so that every one shows.
computed=$(awk 'BEGIN {
  s = 1.0 - exp(-1.0)
  for (n = 1; n <= 4194304; n *= 2) {
    t = 0.0; sum = 0.0; x0 = 0.0; y0 = exp(-x0)
    for (i = 1; i <= n; i++) {
      t = t + 1.0; x1 = t * (1.0 / n); y1 = exp(-x1)
      sum = sum + (x1 - x0) * ((y0 + y1) / 2.0)
      x0 = x1; y0 = y1
    }
    printf "%d %.17e %.80f\n", n, (sum - s) / s, (sum - s) / s
  }
}')
errors=$(echo "$computed" | while read -r n e digits; do
  exact=$(echo "scale = 60; x = 1 / (2 * $n); x * (e(x) + e(-x)) / (e(x) - e(-x)) - 1" | bc -l)
  share=$(echo "scale = 90; d = $digits - $exact; if (d < 0) d = -d; d" | bc -l)
  printf '%s %s %.6e %.6e\n' "$n" "$e" "$exact" "$share"
done)
# Where rounding's share overtakes the rule's error, between two sizes on
# the log-log axes, for the arrow that points there.
crossing=$(echo "$errors" | awk '{
  x = log($1) / log(2); d = log($4) - log($3)
  if (NR > 1 && before < 0 && d >= 0) {
    t = before / (before - d)
    printf "2**%.3f, %.3e", x0 + t * (x - x0), exp(log(e0) + t * (log($3) - log(e0)))
    exit
  }
  x0 = x; before = d; e0 = $3
}')

# What both pictures share.
style='set encoding utf8
set minussign
set border 3
set tics nomirror'

gnuplot <<EOF
set terminal svg size 640,480 font "sans,14" background "white"
$style
f(x) = exp(-x)

set output "trapezoids.svg"
n = 2
h = 1.0 / n
node(x) = (x >= 1 ? n - 1 : floor(x / h))
chord(x) = f(node(x) * h) + (f(node(x) * h + h) - f(node(x) * h)) * (x / h - node(x))
\$nodes << END
$nodes
END
set multiplot
set xrange [0:1]
set yrange [0:1.05]
set xtics 0.25
set ytics 0.25
set xlabel "x"
set ylabel "y"
set key bottom left opaque box
set tics out
set samples 401
# The nodes' vertical edges go over the fill, so each trapezoid stands
# apart, and under the legend, which is drawn last.
plot "+" using 1:(0):(chord(\$1)) with filledcurves fc "#dbe6f4" title "trapezoids, 2 intervals", \
  "+" using 1:(f(\$1)):(chord(\$1)) with filledcurves fc "#e8743b" title "error: chord above the curve", \
  \$nodes with impulses lc "#4a6fa5" lw 1.5 notitle, \
  chord(x) with lines lc "#4a6fa5" lw 1.5 notitle, \
  f(x) with lines lc "black" lw 2 title "e^{−x}", \
  \$nodes with points pt 7 ps 1 lc "#4a6fa5" title "nodes"
unset arrow
unset key
# The sliver between chord and curve, enlarged in an inset.
set origin 0.58, 0.62
set size 0.4, 0.37
set object 1 rectangle from screen 0.6, 0.64 to screen 0.98, 0.99 fillcolor "white" behind
set xtics 0.5 font ",11"
set ytics 0.01 font ",11"
set yrange [0:0.03]
set title "chord − curve, enlarged" font ",11" offset 0, -0.6
unset xlabel
unset ylabel
plot "+" using 1:(0):(chord(\$1) - f(\$1)) with filledcurves fc "#e8743b" notitle
unset multiplot
unset object 1

reset
set terminal svg size 640,600 font "sans,14" background "white"
$style
set output "error.svg"
set logscale x 2
set logscale y 10
set xrange [1:2**22]
set yrange [1e-18:1]
set format x "2^{%L}"
set format y "10^{%L}"
set xtics 4
set mxtics 2
set ytics 100
set mytics 2
set xlabel "number of intervals n"
set ylabel "relative error"
set key below left Left reverse height 1
\$errors << END
$errors
END
set label "rounding takes over" at 2**19, 1e-16 right
set arrow from 2**19 * 1.2, 1e-16 to $crossing lc "#e8743b"
plot \$errors using 1:3 with lines lc "#4a6fa5" lw 2 title "rule's exact error, (h/2)·coth(h/2) − 1", \
  \$errors using 1:4 with linespoints pt 8 ps 0.8 lc "#e8743b" lw 1 title "rounding's share, |computed − exact|", \
  \$errors using 1:(\$1 == 64 ? \$2 : 1/0) with points pt 5 ps 1.4 lc "#2a9d4b" title "the program: n = 64, 2.0345·10^{−5}", \
  \$errors using 1:(\$2 > 0 ? \$2 : 1/0) with points pt 7 ps 0.7 lc "black" title "computed in binary64", \
  \$errors using 1:(\$2 < 0 ? -\$2 : 1/0) with points pt 6 ps 1 lc "black" title "computed, negative: its absolute value"
EOF

# Each picture keeps the data that it draws, after its description: gnuplot's
# bytes change from one version to the next, the data must not.
keep_data() { # picture, data
  DATA=$2 awk '{ print } /^<desc>/ { print "<!-- The data drawn:\n" ENVIRON["DATA"] "\n-->" }' \
    "$1" >"$1.new"
  mv "$1.new" "$1"
}
keep_data trapezoids.svg "$nodes"
keep_data error.svg "$errors"
