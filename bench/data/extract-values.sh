#!/bin/sh
# Collects the component values written on element lines (R, C, L, V, I) of the corpus
# netlists: each distinct value once per file, files in name order, at most 4000 lines.
# Usage: bench/data/extract-values.sh /work/shared/corpus/netlists > bench/data/component-values.txt
find "${1:?netlist folder}" -type f | LC_ALL=C sort | while read -r f; do
    tr -d '\r' < "$f" | LC_ALL=C awk '
        BEGIN { num = "^[+-]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eEdD][+-]?[0-9]+)?[A-Za-z_]*[0-9]*$" }
        /^[RrCcLlVvIi]/ {
            v = $4
            if (toupper(v) == "DC") v = $5
            if (v ~ num && !seen[v]++) print v
        }'
done | head -n 4000
