#!/bin/sh
# Writes the Mandarin reading of every character Unicode's Unihan database
# gives one for (Debian's unicode-data), one "U+XXXX<TAB>reading" a line:
# the children's names are found by the initials of these readings.
set -eu
in=$1
out=$2
bzcat "$in" | awk -F '\t' '$2 == "kMandarin" { split($3, r, " "); print $1 "\t" r[1] }' > "$out.tmp"
mv "$out.tmp" "$out"
